#pragma once
#include <ostream>
#include <string>
#include <vector>

// The headless tool: the same work folder, configuration and connection as the desktop
// program, one command per run, results on standard output, for scripts and scheduled reads.

namespace kv {

class Workspace;

struct CliOptions {
    std::string dataDir;               // --data-dir; empty: the program's folder
    bool trace = false;                // --trace: the exchange trace to standard error
    std::vector<std::string> command;  // the command and its arguments
};

constexpr int kCliOk = 0;
constexpr int kCliExchangeFailed = 1;
constexpr int kCliUsage = 2;

// Splits the program's arguments (without argv[0]); false on a malformed option.
bool parseCliOptions(const std::vector<std::string>& args, CliOptions& out, std::string& error);
const char* cliUsage();

// Runs one command on an activated workspace with a port opener set: opens the port and
// connects as the main window does, runs the command, sends the release command where the
// main window would, closes the port. Returns the exit status.
int runCli(Workspace& ws, const CliOptions& opts, std::ostream& out, std::ostream& err);

} // namespace kv
