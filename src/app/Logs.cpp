#include "app/Logs.h"

#include "text/Cp1251.h"
#include "text/DateTime.h"
#include "text/Files.h"

namespace kv {

namespace {
constexpr int kMemoLimit = 500;

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + "/" + name;
}
} // namespace

std::string DebugLog::fileNameFor(double dateTime) const
{
    return joinPath(folder_, text::formatDateTime("dd_mm_yy", dateTime) + ".Txt");
}

void DebugLog::debugLog(const std::string& text)
{
    const double now = clock_.now();
    last_ = text::formatDateTime("hh:nn:ss:zzz", now) + " : " + text;
    if (memo_) {
        const bool clearFirst = memoLines_ > kMemoLimit;
        if (clearFirst)
            memoLines_ = 0;
        memo_(last_, clearFirst);
        ++memoLines_;
    }
    if (echo_)
        echo_(last_);
    if (toFile_)
        text::appendFile(fileNameFor(now), text::toCp1251(last_) + "\r\n");
    pump_.processEvents();
}

std::string DataLog::fileNameFor(double dateTime) const
{
    return joinPath(folder_, "dan_" + text::formatDateTime("dd_mm_yy", dateTime) + ".Txt");
}

void DataLog::dataLog(const std::string& text, const std::string& data)
{
    text::appendFile(fileNameFor(clock_.now()), text::toCp1251(text + "\t" + data) + "\r\n");
    pump_.processEvents();
}

} // namespace kv
