#include <gtest/gtest.h>

#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv::text;

namespace {
DateTimeValue at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    DateTimeValue v = 0;
    EXPECT_TRUE(encodeDateTime({y, mo, d, h, mi, s, ms}, v));
    return v;
}
} // namespace

TEST(DateTime, DaysCountFromTheLastDaysOf1899)
{
    const struct { int y, m, d; double serial; int dow; } cases[] = {
        {1899, 12, 30, 0, 7}, {1900, 1, 1, 2, 2}, {1900, 3, 1, 61, 5}, {2000, 1, 1, 36526, 7},
        {2024, 2, 29, 45351, 5}, {2024, 3, 5, 45356, 3}, {1899, 12, 29, -1, 6},
        {1, 1, 1, -693593, 2}, {9999, 12, 31, 2958465, 6},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(decodeDateTime(c.serial), (CivilDateTime{c.y, c.m, c.d}));
        EXPECT_EQ(dayOfWeek(c.serial), c.dow);
    }
}

TEST(DateTime, FractionIsTheTimeOfDayAlsoBefore1900)
{
    EXPECT_DOUBLE_EQ(at(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(decodeDateTime(-1.25), (CivilDateTime{1899, 12, 29, 6}));
    EXPECT_EQ(decodeDateTime(-0.75), (CivilDateTime{1899, 12, 30, 18}));
    EXPECT_EQ(decodeDateTime(at(2024, 3, 5, 8, 7, 9, 45)), (CivilDateTime{2024, 3, 5, 8, 7, 9, 45}));
    // A value a hair below midnight belongs to the next day once rounded to the millisecond.
    EXPECT_EQ(decodeDateTime(45356.0 - 1e-10), (CivilDateTime{2024, 3, 5}));
    EXPECT_EQ(decodeDateTime(-2.0 + 1e-10), (CivilDateTime{1899, 12, 30}));   // 12-29 23:59:59.99999
    EXPECT_DOUBLE_EQ(truncToDay(-1.25), -1.0);
    EXPECT_DOUBLE_EQ(truncToHour(at(1899, 12, 28, 13, 59, 59)), at(1899, 12, 28, 13));
}

TEST(DateTime, RejectsDatesAndTimesThatDoNotExist)
{
    DateTimeValue v = 123;
    EXPECT_FALSE(encodeDateTime({2023, 2, 29}, v));
    EXPECT_FALSE(encodeDateTime({1900, 2, 29}, v));
    EXPECT_FALSE(encodeDateTime({2024, 13, 1}, v));
    EXPECT_FALSE(encodeDateTime({2024, 1, 1, 24}, v));
    EXPECT_FALSE(encodeDateTime({0, 1, 1}, v));
    EXPECT_EQ(v, 123);
    EXPECT_TRUE(isValidDate(2000, 2, 29));
    EXPECT_EQ(daysInMonth(2100, 2), 28);
    EXPECT_EQ(encodeDate(2023, 2, 30), 0);
}

TEST(DateTime, CutsToDayAndHourWithoutFloatingPointSlips)
{
    const DateTimeValue v = at(2024, 12, 31, 23, 59, 59, 999);
    EXPECT_DOUBLE_EQ(truncToDay(v), at(2024, 12, 31));
    EXPECT_DOUBLE_EQ(truncToHour(v), at(2024, 12, 31, 23));
    // 10:00 built from a sum of parts may land just below the hour in binary.
    const DateTimeValue ten = at(2024, 3, 5) + 10.0 / 24.0 - 1e-12;
    EXPECT_DOUBLE_EQ(truncToHour(ten), at(2024, 3, 5, 10));
}

TEST(DateTime, MonthStepsClampToTheMonthEndAndCrossYears)
{
    const struct { DateTimeValue from; int n; DateTimeValue want; } cases[] = {
        {at(2024, 1, 31, 12), 1, at(2024, 2, 29, 12)},
        {at(2023, 1, 31), 1, at(2023, 2, 28)},
        {at(2024, 3, 31), -1, at(2024, 2, 29)},
        {at(2023, 12, 15, 7, 30), 1, at(2024, 1, 15, 7, 30)},
        {at(2024, 1, 15), -1, at(2023, 12, 15)},
        {at(2024, 2, 29), 12, at(2025, 2, 28)},
        {at(2000, 2, 29), -1200, at(1900, 2, 28)},
        {at(2024, 5, 31), -27, at(2022, 2, 28)},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(addMonths(c.from, c.n), c.want);
}

TEST(DateTime, WaitUnitsAreHundredThousandthsOfADayTruncatedTowardZero)
{
    const DateTimeValue t = at(2024, 3, 5, 8);
    EXPECT_EQ(waitUnits(t, t + 0.5), 50000);
    EXPECT_EQ(waitUnits(t + 0.5, t), -50000);
    EXPECT_EQ(waitUnits(t, t + 2.5e-5), 2);
    EXPECT_EQ(waitUnits(t, t + 2.5e-5 - 1e-9), 2);
    EXPECT_EQ(waitUnits(t + 2.5e-5, t), -2);
    EXPECT_EQ(waitUnits(t, t), 0);

    // On the virtual clock: 3 s is 3.47 units, 0.8 s not a whole one.
    kv::sim::VirtualClock clock(t);
    const double start = clock.now();
    clock.sleepMs(800);
    EXPECT_EQ(waitUnits(start, clock.now()), 0);
    clock.sleepMs(2200);
    EXPECT_EQ(waitUnits(start, clock.now()), 3);
}

TEST(DateTime, FormatsThePatternsOfLogsAndReports)
{
    const DateTimeValue v = at(2024, 3, 5, 8, 7, 9, 45);
    const struct { const char* pattern; const char* want; } cases[] = {
        {"dd_mm_yy", "05_03_24"},
        {"hh:nn:ss:zzz", "08:07:09:045"},
        {"dd.mm.yyyy", "05.03.2024"},
        {"yyyy-mm-dd hh:nn", "2024-03-05 08:07"},
        {"d.m.yy h:n:s", "5.3.24 8:7:9"},
        {"DD.MM.YYYY", "05.03.2024"},
        {"\"dd\" dd", "dd 05"},
        {"время :hh:nn", "время :08:07"},
        {"ddd", "055"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatDateTime(c.pattern, v), c.want) << c.pattern;
}
