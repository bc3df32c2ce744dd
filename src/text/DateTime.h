#pragma once
#include <cstdint>
#include <string>

// Date-time values as the controller software counts them: days since 1899-12-30,
// the fraction being the time of day. Before 1899-12-30 the whole part counts days back
// and the fraction is still the time of day: -1.25 is 1899-12-29 06:00.
// Valid dates run from 0001-01-01 to 9999-12-31; values outside are clamped to that range.

namespace kv::text {

struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    bool operator==(const CivilDateTime&) const = default;
};

using DateTimeValue = double;

// False (and no value) for a date or time that does not exist.
bool encodeDateTime(const CivilDateTime& c, DateTimeValue& out);
DateTimeValue encodeDate(int year, int month, int day);     // 0 when the date does not exist
// Time of day as a fraction of a day; 0 when the time does not exist.
DateTimeValue encodeTime(int hour, int minute, int second, int msec = 0);
CivilDateTime decodeDateTime(DateTimeValue v);             // rounded to the millisecond
bool isValidDate(int year, int month, int day);
bool isLeapYear(int year);
int daysInMonth(int year, int month);                        // 0 for a month outside 1..12

// Midnight of the value's day, and the start of its hour (both after rounding to the ms).
DateTimeValue truncToDay(DateTimeValue v);
DateTimeValue truncToHour(DateTimeValue v);
// Same day of month n months later (n may be negative), clamped to the month's last day;
// the time of day is kept.
DateTimeValue addMonths(DateTimeValue v, int n);
int dayOfWeek(DateTimeValue v);    // 1 = Sunday .. 7 = Saturday

// Wait units: (b - a) in days × 100000, truncated toward zero. One unit is 0.864 s.
int64_t waitUnits(DateTimeValue from, DateTimeValue to);

// Formatting with the patterns the program uses: "dd_mm_yy", "hh:nn:ss:zzz",
// "dd.mm.yyyy", "hh:nn", "yyyy-mm-dd hh:nn" and the like. Letters (either case):
// d, dd day; m, mm month; yy, yyyy year; h, hh hour; n, nn minute; s, ss second;
// z, zzz millisecond; text in double quotes and every other character is copied.
std::string formatDateTime(const char* pattern, DateTimeValue v);

} // namespace kv::text
