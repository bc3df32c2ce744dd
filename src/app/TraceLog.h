#pragma once
#include <string>

// The exchange trace as the protocol code sees it: one call per line, the time stamp,
// the memo, the dated file and the event pump are the implementation's business.

namespace kv {

class TraceLog {
public:
    virtual ~TraceLog() = default;
    virtual void debugLog(const std::string& line) = 0;
};

class NullTraceLog final : public TraceLog {
public:
    void debugLog(const std::string&) override {}
};

} // namespace kv
