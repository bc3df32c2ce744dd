#pragma once
#include <cstdint>
#include <string>

// Date-time values as the controller software counts them: days since 1899-12-30,
// the fraction being the time of day.

namespace kv::text {

struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool operator==(const CivilDateTime&) const = default;
};

using DateTimeValue = double;

// False (and no value) for a date or time that does not exist.
bool encodeDateTime(const CivilDateTime& c, DateTimeValue& out);
DateTimeValue encodeDate(int year, int month, int day);     // must exist
CivilDateTime decodeDateTime(DateTimeValue v);             // rounded to the millisecond
bool isValidDate(int year, int month, int day);
int daysInMonth(int year, int month);

DateTimeValue truncToDay(DateTimeValue v);
DateTimeValue truncToHour(DateTimeValue v);
// Same day of month n months later (n may be negative), clamped to the month's last day.
DateTimeValue addMonths(DateTimeValue v, int n);
int dayOfWeek(DateTimeValue v);    // 1 = Sunday .. 7 = Saturday

// Wait units: (b - a) in days × 100000, truncated toward zero. One unit is 0.864 s.
int64_t waitUnits(DateTimeValue from, DateTimeValue to);

// Formatting with the patterns the program uses: "dd_mm_yy", "hh:nn:ss:zzz",
// "dd.mm.yyyy", "hh:nn", "yyyy-mm-dd hh:nn" and the like (d, dd, m, mm, yy, yyyy, h, hh,
// n, nn, s, ss, zzz; other characters are copied).
std::string formatDateTime(const char* pattern, DateTimeValue v);

} // namespace kv::text
