#pragma once
#include <functional>
#include <string>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "app/TraceLog.h"

namespace kv {

// The exchange trace: every line gets the time "hh:nn:ss:zzz : ", goes to the main window's
// memo (cleared first when it holds more than 500 lines, so it never grows without bound)
// and, with the "Report" option on, to the dated file "dd_mm_yy.Txt" in the work folder.
// Each line then lets pending operator input through. Errors while writing are ignored: a
// full disk must never break an exchange.
class DebugLog final : public TraceLog {
public:
    // clearFirst is true when the memo must be emptied before the line is added.
    using MemoSink = std::function<void(const std::string& line, bool clearFirst)>;

    DebugLog(Clock& clock, EventPump& pump) : clock_(clock), pump_(pump) {}

    void setFolder(const std::string& folder) { folder_ = folder; }
    void setWriteToFile(bool on) { toFile_ = on; }
    bool writesToFile() const { return toFile_; }
    void setMemoSink(MemoSink sink) { memo_ = std::move(sink); }
    // Extra copy of every line (the command-line tool's --trace).
    void setEcho(std::function<void(const std::string&)> echo) { echo_ = std::move(echo); }
    void memoCleared() { memoLines_ = 0; }

    void debugLog(const std::string& text) override;

    const std::string& lastLine() const { return last_; }
    int memoLines() const { return memoLines_; }
    std::string fileNameFor(double dateTime) const;

private:
    Clock& clock_;
    EventPump& pump_;
    std::string folder_;
    bool toFile_ = false;
    MemoSink memo_;
    std::function<void(const std::string&)> echo_;
    int memoLines_ = 0;
    std::string last_;
};

// Saved data lines: text + tab + data appended to "dan_dd_mm_yy.Txt" in the work folder.
class DataLog {
public:
    DataLog(Clock& clock, EventPump& pump) : clock_(clock), pump_(pump) {}
    void setFolder(const std::string& folder) { folder_ = folder; }
    void dataLog(const std::string& text, const std::string& data);
    std::string fileNameFor(double dateTime) const;

private:
    Clock& clock_;
    EventPump& pump_;
    std::string folder_;
};

} // namespace kv
