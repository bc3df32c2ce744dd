#include "text/DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kv::text {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kMinDay = -693593;   // 0001-01-01
constexpr int64_t kMaxDay = 2958465;   // 9999-12-31
constexpr int64_t kEpochShift = 25569; // 1899-12-30 .. 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

// The day number and the milliseconds of the day, rounded, with the carry into the next day.
void split(DateTimeValue v, int64_t& day, int64_t& ms)
{
    if (!std::isfinite(v))
        v = 0;
    v = std::clamp(v, double(kMinDay) - 0.999999999, double(kMaxDay) + 0.999999999);
    const double whole = std::trunc(v);
    day = int64_t(whole);
    ms = std::llround(std::fabs(v - whole) * double(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day;
    }
    if (day > kMaxDay) {
        day = kMaxDay;
        ms = kMsPerDay - 1;
    }
}

DateTimeValue join(int64_t day, int64_t ms)
{
    const double frac = double(ms) / double(kMsPerDay);
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

void appendNumber(std::string& out, long v, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*ld", width, v);
    out += buf;
}

} // namespace

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValidDate(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1
        && day <= daysInMonth(year, month);
}

bool encodeDateTime(const CivilDateTime& c, DateTimeValue& out)
{
    if (!isValidDate(c.year, c.month, c.day))
        return false;
    if (c.hour < 0 || c.hour > 23 || c.minute < 0 || c.minute > 59 || c.second < 0
        || c.second > 59 || c.msec < 0 || c.msec > 999)
        return false;
    const int64_t day = daysFromCivil(c.year, c.month, c.day) + kEpochShift;
    const int64_t ms = ((int64_t(c.hour) * 60 + c.minute) * 60 + c.second) * 1000 + c.msec;
    out = join(day, ms);
    return true;
}

DateTimeValue encodeDate(int year, int month, int day)
{
    DateTimeValue v = 0;
    return encodeDateTime({year, month, day}, v) ? v : 0;
}

DateTimeValue encodeTime(int hour, int minute, int second, int msec)
{
    DateTimeValue v = 0;
    return encodeDateTime({1899, 12, 30, hour, minute, second, msec}, v) ? v : 0;
}

CivilDateTime decodeDateTime(DateTimeValue v)
{
    int64_t day = 0, ms = 0;
    split(v, day, ms);
    CivilDateTime c;
    civilFromDays(day - kEpochShift, c.year, c.month, c.day);
    c.msec = int(ms % 1000);
    c.second = int(ms / 1000 % 60);
    c.minute = int(ms / 60000 % 60);
    c.hour = int(ms / 3600000);
    return c;
}

DateTimeValue truncToDay(DateTimeValue v)
{
    int64_t day = 0, ms = 0;
    split(v, day, ms);
    return join(day, 0);
}

DateTimeValue truncToHour(DateTimeValue v)
{
    int64_t day = 0, ms = 0;
    split(v, day, ms);
    return join(day, ms - ms % 3600000);
}

DateTimeValue addMonths(DateTimeValue v, int n)
{
    int64_t day = 0, ms = 0;
    split(v, day, ms);
    CivilDateTime c = decodeDateTime(v);
    int64_t months = int64_t(c.year) * 12 + (c.month - 1) + n;
    months = std::clamp<int64_t>(months, 12, 9999 * 12 + 11);
    const int year = int(months / 12);
    const int month = int(months % 12) + 1;
    const int d = std::min(c.day, daysInMonth(year, month));
    return join(daysFromCivil(year, month, d) + kEpochShift, ms);
}

int dayOfWeek(DateTimeValue v)
{
    int64_t day = 0, ms = 0;
    split(v, day, ms);
    // Day 0, 1899-12-30, was a Saturday.
    const int64_t r = ((day % 7) + 7) % 7;
    return int((r + 6) % 7 + 1);
}

int64_t waitUnits(DateTimeValue from, DateTimeValue to)
{
    const double units = std::trunc((to - from) * 100000.0);
    if (std::isnan(units))
        return 0;
    if (units >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (units <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return int64_t(units);
}

std::string formatDateTime(const char* pattern, DateTimeValue v)
{
    std::string out;
    if (!pattern)
        return out;
    const CivilDateTime c = decodeDateTime(v);
    const std::string_view p(pattern);
    std::size_t i = 0;
    while (i < p.size()) {
        const char ch = p[i];
        const char lc = char(ch >= 'A' && ch <= 'Z' ? ch + 0x20 : ch);
        std::size_t run = 1;
        if (lc >= 'a' && lc <= 'z') {
            const char uc = char(lc - 0x20);
            while (i + run < p.size() && (p[i + run] == lc || p[i + run] == uc))
                ++run;
        }
        switch (lc) {
        case '"': {
            const std::size_t close = p.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? p.size() : close;
            out.append(p.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? p.size() : close + 1;
            continue;
        }
        case 'y':
            if (run >= 3)
                appendNumber(out, c.year, 4);
            else
                appendNumber(out, c.year % 100, 2);
            i += run;
            continue;
        case 'z':
            if (run >= 3) {
                appendNumber(out, c.msec, 3);
                i += 3;
            } else {
                appendNumber(out, c.msec, 1);
                i += run;
            }
            continue;
        case 'd':
        case 'm':
        case 'h':
        case 'n':
        case 's': {
            const int value = lc == 'd' ? c.day : lc == 'm' ? c.month : lc == 'h' ? c.hour
                            : lc == 'n' ? c.minute : c.second;
            const std::size_t take = std::min<std::size_t>(run, 2);
            appendNumber(out, value, int(take));
            i += take;
            continue;
        }
        default:
            out += ch;
            ++i;
            continue;
        }
    }
    return out;
}

} // namespace kv::text
