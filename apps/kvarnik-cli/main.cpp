// kvarnik-cli: headless access to the controller through the same core, work folder and
// configuration as the desktop program.
#include <QCoreApplication>
#include <QDir>

#include <iostream>

#include "app/CommandLine.h"
#include "app/Operator.h"
#include "app/Workspace.h"
#include "platform/SystemClock.h"
#include "platform/WorkspacePorts.h"

namespace {

// Messages go to standard error; questions are answered No, as nobody is there to answer.
class ConsoleOperator final : public kv::Operator {
public:
    bool askYesNo(const std::string& text) override
    {
        std::cerr << text << " -> Нет\n";
        return false;
    }
    void message(kv::MessageKind, const std::string& text) override { std::cerr << text << "\n"; }
    void setBusy(bool) override {}
    void setStatus(const std::string&) override {}
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    kv::CliOptions opts;
    std::string error;
    if (!kv::parseCliOptions(args, opts, error)) {
        if (!error.empty())
            std::cerr << "kvarnik-cli: " << error << "\n";
        std::cerr << kv::cliUsage();
        return error.empty() ? 0 : kv::kCliUsage;
    }
    const std::string folder = opts.dataDir.empty() ? QCoreApplication::applicationDirPath().toStdString()
                                                    : QDir(QString::fromStdString(opts.dataDir)).absolutePath().toStdString();
    kv::SystemClock clock;
    kv::NullEventPump pump;
    ConsoleOperator op;
    kv::Workspace ws(folder, clock, pump, op);
    if (opts.trace)
        ws.debugLog().setEcho([](const std::string& line) { std::cerr << line << "\n"; });
    kv::WorkspacePortOpener ports(ws);
    ws.setPortOpener(&ports);
    ws.activate();
    return kv::runCli(ws, opts, std::cout, std::cerr);
}
