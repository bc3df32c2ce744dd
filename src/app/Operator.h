#pragma once
#include <string>

// Everything the core asks or tells the person at the workstation goes through here.
// The desktop program answers with message boxes; tests answer from a script.

namespace kv {

enum class MessageKind { Information, Warning, Error };

class Operator {
public:
    virtual ~Operator() = default;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& text) = 0;
    // A message with an OK button.
    virtual void message(MessageKind kind, const std::string& text) = 0;
    // Hourglass cursor on or off.
    virtual void setBusy(bool busy) = 0;
    // The progress/hint text of the main window's status bar (empty clears it).
    virtual void setStatus(const std::string& text) = 0;
};

// Answers No to every question and drops everything else (headless runs without a person).
class SilentOperator final : public Operator {
public:
    bool askYesNo(const std::string&) override { return false; }
    void message(MessageKind, const std::string&) override {}
    void setBusy(bool) override {}
    void setStatus(const std::string&) override {}
};

} // namespace kv
