#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/Operator.h"

namespace kv::test {

// The operator of a test: it answers only the questions the test scripted, in order, and
// records every message and status text. Anything it did not expect is a problem that
// `problems()` reports, so a window or workflow can never show a dialog a test overlooked.
class ScriptedOperator final : public Operator {
public:
    void expectQuestion(std::string text, bool answer) { script_.push_back({Kind::Question, std::move(text), answer}); }
    void expectMessage(std::string text) { script_.push_back({Kind::Message, std::move(text), false}); }

    bool askYesNo(const std::string& text) override
    {
        asked.push_back(text);
        if (script_.empty() || script_.front().kind != Kind::Question || script_.front().text != text) {
            problems_.push_back("unexpected question: " + text);
            return false;
        }
        const bool a = script_.front().answer;
        script_.pop_front();
        return a;
    }
    void message(MessageKind, const std::string& text) override
    {
        messages.push_back(text);
        if (script_.empty() || script_.front().kind != Kind::Message || script_.front().text != text) {
            problems_.push_back("unexpected message: " + text);
            return;
        }
        script_.pop_front();
    }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void setStatus(const std::string& text) override
    {
        statuses.push_back(text);
        if (onStatus)
            onStatus(text);
    }
    // Lets a test act at a given step of a workflow (e.g. break the line when a status shows).
    std::function<void(const std::string&)> onStatus;

    // Unexpected dialogs, and scripted ones that never came.
    std::vector<std::string> problems() const
    {
        std::vector<std::string> p = problems_;
        for (const auto& s : script_)
            p.push_back((s.kind == Kind::Question ? "question never asked: " : "message never shown: ") + s.text);
        if (busyDepth != 0)
            p.push_back("busy cursor left on");
        return p;
    }

    std::vector<std::string> asked, messages, statuses;
    int busyDepth = 0;

private:
    enum class Kind { Question, Message };
    struct Step { Kind kind; std::string text; bool answer; };
    std::deque<Step> script_;
    std::vector<std::string> problems_;
};

} // namespace kv::test
