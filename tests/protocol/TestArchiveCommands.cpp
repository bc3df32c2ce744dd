#include <gtest/gtest.h>

#include <set>

#include "protocol/ArchiveCommands.h"
#include "protocol/CommandTestPort.h"
#include "text/DateTime.h"

using namespace kv;
using Bytes = std::vector<uint8_t>;
using Receipt = test::CommandTestPort::Receipt;

namespace {

// Archive records that say where they came from: kind, slot (or month), hour, archive number.
enum : uint8_t { kHourly = 0xA1, kExtended = 0xA2, kDaily = 0xA3, kMonthly = 0xA4 };

ValueBytes rec(uint8_t kind, int slot, int hour, int n) {
    return {kind, uint8_t(slot), uint8_t(hour), uint8_t(n)};
}

void addRecords(Bytes& out, uint8_t kind, int slot, int fromHour, int toHour, int n) {
    for (int h = fromHour; h <= toHour; ++h) {
        const ValueBytes r = rec(kind, slot, h, n);
        out.insert(out.end(), r.begin(), r.end());
    }
}

// The controller's archive memory as its addresses lay it out, answering every archive read
// with records that name their slot; addresses in `missing` answer with the receipt only.
struct ArchiveMemory {
    std::set<uint16_t> missing;
    std::vector<uint16_t> requested;

    std::optional<Bytes> operator()(const Bytes& body) {
        if (body.size() != 3 || body[0] != 0x01)
            return std::nullopt;
        const uint8_t hi = body[1], lo = body[2];
        const uint16_t address = uint16_t(hi << 8 | lo);
        if (hi < 0xC0)
            return std::nullopt;   // clock and settings: the plain value map
        requested.push_back(address);
        if (missing.count(address))
            return Bytes{};
        Bytes out;
        if (lo < 0x80) {                          // hourly: 0xE0 + first hour / 0xC0 + hour
            const int slot = lo / 32, n = lo % 32;
            if (hi >= 0xE0)
                addRecords(out, kHourly, slot, hi - 0xE0, 23, n);
            else
                addRecords(out, kHourly, slot, hi - 0xC0, hi - 0xC0, n);
        } else if (lo < 0xC0 && hi >= 0xE0) {     // extended ring: 24 hours of a slot
            const int slot = (hi & 0x1F) | (lo & 0x20), n = lo & 0x1F;
            addRecords(out, kExtended, slot, 0, 23, n);
        } else if (lo < 0xC0) {                   // monthly
            addRecords(out, kMonthly, hi - 0xC0, 0, 0, lo - 0x80);
        } else if (hi >= 0xE0) {                  // daily from a day to day 31
            for (int s = hi - 0xE0; s <= 30; ++s)
                addRecords(out, kDaily, s, 0, 0, lo - 0xC0);
        } else {                                  // daily, one day
            addRecords(out, kDaily, hi - 0xC0, 0, 0, lo - 0xC0);
        }
        return out;
    }
};

std::string stamp(double v) { return text::formatDateTime("yyyy-mm-dd hh:nn", v); }
double at(int y, int m, int d, int hh = 0, int mm = 0) {
    return text::encodeDate(y, m, d) + text::encodeTime(hh, mm, 0);
}

uint8_t bcd(int v) { return uint8_t((v / 10) << 4 | (v % 10)); }

} // namespace

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.state().attemptCount = 1;
        engine.state().networkNumber = 5;
        port.replyFor = [this](const Bytes& b) { return memory(b); };
    }

    // The controller's own clock as its three 2-byte words.
    void setClock(int y, int m, int d, int hh, int mm) {
        port.values[0x4017] = {uint8_t(y / 100), uint8_t(y % 100)};
        port.values[0x4016] = {uint8_t(d), uint8_t(m)};
        port.values[0x4015] = {uint8_t(hh), uint8_t(mm)};
    }
    void setReporting(int hour, int day, uint8_t flags) {
        port.values[0x4002] = {bcd(hour), bcd(day)};
        port.values[0x4302] = {flags, 0x00};
    }
    // Records the controller should have sent, for comparing.
    static std::vector<ValueBytes> hours(uint8_t kind, int slot, int from, int to, int n) {
        std::vector<ValueBytes> v;
        for (int h = from; h <= to; ++h)
            v.push_back(rec(kind, slot, h, n));
        return v;
    }
    static std::vector<ValueBytes> days(int fromSlot, int toSlot, int n) {
        std::vector<ValueBytes> v;
        for (int s = fromSlot; s <= toSlot; ++s)
            v.push_back(rec(kDaily, s, 0, n));
        return v;
    }
    static void append(std::vector<ValueBytes>& to, const std::vector<ValueBytes>& more) {
        to.insert(to.end(), more.begin(), more.end());
    }

    sim::VirtualClock clock;
    NullEventPump pump;
    test::CommandTrace trace;
    Exchange engine{clock, pump, trace};
    CanLink can{engine};
    Commands commands{engine, can};
    ArchiveCommands archives{engine, can, commands};
    test::CommandTestPort port{clock};
    ArchiveMemory memory;
};

// ---- clock --------------------------------------------------------------------------------

TEST_F(ArchiveTest, SerialClockModesStepToTheHourTheReportWants) {
    struct Case { int y, m, d, hh, mm, mode; const char* expected; };
    const Case cases[] = {
        {2026, 3, 15, 5, 30, 25, "2026-03-15 05:30"},
        {2026, 3, 15, 0, 0, 24, "2026-03-14 22:00"},   // the hour ending now is never taken
        {2026, 3, 15, 5, 0, 24, "2026-03-15 03:00"},
        {2026, 3, 15, 5, 30, 24, "2026-03-15 04:00"},
        {2026, 1, 1, 0, 0, 24, "2025-12-31 22:00"},
        {2024, 3, 1, 0, 30, 24, "2024-02-29 23:00"},
        {2026, 3, 15, 10, 0, 10, "2026-03-14 10:00"},  // exactly the reporting hour: the day before
        {2026, 3, 15, 10, 5, 10, "2026-03-15 10:00"},
        {2026, 3, 15, 11, 0, 10, "2026-03-15 11:00"},
        {2026, 3, 1, 0, 0, 0, "2026-02-28 00:00"},
        {2026, 3, 15, 5, 30, 99, "2026-03-15 05:30"},  // unknown mode: as read
    };
    for (const auto& c : cases) {
        setClock(c.y, c.m, c.d, c.hh, c.mm);
        port.bodies.clear();
        double t = 0;
        ASSERT_EQ(archives.readClock(port, 0, c.mode, t), 0);
        EXPECT_EQ(stamp(t), c.expected) << c.hh << ":" << c.mm << " mode " << c.mode;
        EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x01, 0x40, 0x17}, {0x01, 0x40, 0x16}, {0x01, 0x40, 0x15}}));
    }
}

TEST_F(ArchiveTest, SerialClockRefusesDatesAndTimesThatDoNotExist) {
    struct Case { int y, m, d, hh, mm; ExchangeResult result; };
    const Case cases[] = {
        {2026, 2, 29, 10, 0, 19}, {2026, 13, 1, 10, 0, 19}, {2026, 4, 31, 10, 0, 19},
        {2026, 4, 0, 10, 0, 19},  {2026, 4, 1, 24, 0, 19},  {2026, 4, 1, 10, 60, 19},
        {2024, 2, 29, 23, 59, 0},
    };
    for (const auto& c : cases) {
        setClock(c.y, c.m, c.d, c.hh, c.mm);
        double t = 1.0;
        EXPECT_EQ(archives.readClock(port, 0, kClockAsRead, t), c.result) << c.m << "/" << c.d;
        if (c.result != 0) {
            EXPECT_EQ(t, 1.0);
        }
    }
    port.receipt = Receipt::Negative;
    double t = 1.0;
    EXPECT_EQ(archives.readClock(port, 0, kClockAsRead, t), 3);
}

TEST_F(ArchiveTest, CanClockReadsBcdDateAndTimeAsFramesOrGatewayBodies) {
    port.canValues[0xF017] = {0x00, 0x15, 0x03, 0x26};   // bytes 7, 8, 9: day, month, year
    port.canValues[0xF018] = {0x00, 0x45, 0x30, 0x12};   // bytes 9, 8, 7: hour, minute, second
    double t = 0;
    ASSERT_EQ(archives.readCanClock(port, 11, CanClockForm::Frames, true, t), 0);
    EXPECT_EQ(text::formatDateTime("yyyy-mm-dd hh:nn:ss", t), "2026-03-15 12:30:45");
    ASSERT_EQ(port.canFrames.size(), 3u);
    EXPECT_EQ(port.canFrames[0][6], kCanFnControl);
    EXPECT_EQ(port.canFrames[0][7], 3);
    EXPECT_EQ(port.canFrames[1][8], 0xF0);
    EXPECT_EQ(port.canFrames[1][7], 0x17);
    EXPECT_EQ(port.canFrames[2][7], 0x18);

    ASSERT_EQ(archives.readCanClock(port, 12, CanClockForm::Gateway, false, t), 0);
    EXPECT_EQ(stamp(t), "2026-03-15 00:00");
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x14, 0x03, 0x00, 0x05, 0x03}, {0x11, 0x17, 0xF0, 0x04}}));

    // The archive reads' clock read goes as frames on the gateway line too.
    port.canFrames.clear();
    ASSERT_EQ(archives.readClock(port, 12, kClockLastHour, t), 0);
    EXPECT_EQ(port.canFrames.size(), 3u);
    EXPECT_EQ(text::formatDateTime("hh:nn:ss", t), "12:30:45");   // no mode on CAN-BUS
}

TEST_F(ArchiveTest, CanClockOutOfRangeGives44) {
    const Bytes goodDate{0x00, 0x15, 0x03, 0x26}, goodTime{0x00, 0x45, 0x30, 0x12};
    struct Case { Bytes date, time; };
    const Case cases[] = {
        {{0x00, 0x15, 0x13, 0x26}, goodTime},   // month 13
        {{0x00, 0x32, 0x03, 0x26}, goodTime},   // day 32
        {{0x00, 0x31, 0x04, 0x26}, goodTime},   // 31 April
        {{0x00, 0x1A, 0x03, 0x26}, goodTime},   // not BCD
        {goodDate, {0x00, 0x00, 0x00, 0x24}},   // hour 24
        {goodDate, {0x00, 0x00, 0x60, 0x12}},   // minute 60
        {goodDate, {0x00, 0x60, 0x00, 0x12}},   // second 60
    };
    for (const auto& c : cases) {
        port.canValues[0xF017] = c.date;
        port.canValues[0xF018] = c.time;
        double t = 1.0;
        EXPECT_EQ(archives.readCanClock(port, 11, CanClockForm::Frames, true, t), 44);
        EXPECT_EQ(t, 1.0);
    }
}

TEST_F(ArchiveTest, ReportingSettingsAreBcdWithFlagsFromTheNibbles) {
    struct Case { Bytes hd, flags; int channelType; ReportingSettings expected; };
    const Case cases[] = {
        {{0x23, 0x15}, {0x05, 0x77}, 0, {23, 15, true, false}},
        {{0x09, 0x01}, {0x50, 0x00}, 0, {9, 1, false, true}},
        {{0x01, 0x09}, {0x00, 0x50}, 11, {9, 1, false, true}},   // CAN-BUS: bytes swapped
        {{0x00, 0x00}, {0x00, 0x00}, 0, {0, 0, true, true}},
    };
    for (const auto& c : cases) {
        port.values[0x4002] = c.hd;
        port.values[0x4302] = c.flags;
        port.canValues[0x4002] = c.hd;
        port.canValues[0x4302] = c.flags;
        ReportingSettings s;
        ASSERT_EQ(archives.readReportingSettings(port, c.channelType, s), 0);
        EXPECT_EQ(s.hour, c.expected.hour);
        EXPECT_EQ(s.day, c.expected.day);
        EXPECT_EQ(s.flagA, c.expected.flagA);
        EXPECT_EQ(s.flagB, c.expected.flagB);
    }
    port.values[0x4002] = {0x24, 0x01};
    ReportingSettings s;
    EXPECT_EQ(archives.readReportingSettings(port, 0, s), 19);
}

// ---- hourly -------------------------------------------------------------------------------

// The controller shows 2026-03-15 10:35: the newest hour is 09:00 today (slot 3), the oldest
// 00:00 on the 12th (slot 0).
class HourlyTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        setClock(2026, 3, 15, 10, 35);
    }
};

TEST_F(HourlyTest, OneHourIsOneFourByteRequest) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readHourly(port, 0, 5, at(2026, 3, 14, 8, 20), at(2026, 3, 14, 8, 50), t, r), 0);
    EXPECT_EQ(stamp(t), "2026-03-15 10:35");   // the clock read is handed back
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xC845}));   // 0xC0 + 8, slot 2 × 32 + 5
    EXPECT_EQ(r.records, hours(kHourly, 2, 8, 8, 5));
    EXPECT_EQ(stamp(r.firstTime), "2026-03-14 08:00");
}

TEST_F(HourlyTest, PeriodFromFiveDaysAgoStartsAtMidnightThreeDaysBack) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readHourly(port, 0, 5, at(2026, 3, 10), at(2026, 3, 20), t, r), 0);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-12 00:00");
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE005, 0xE025, 0xE045, 0xE065}));
    std::vector<ValueBytes> expected;
    for (int slot = 0; slot < 3; ++slot)
        append(expected, hours(kHourly, slot, 0, 23, 5));
    append(expected, hours(kHourly, 3, 0, 9, 5));   // the end is cut to the newest hour
    EXPECT_EQ(r.records, expected);
}

TEST_F(HourlyTest, PeriodInsideTheWindowTakesItsHoursOnly) {
    double t = at(2026, 3, 15, 10, 35);   // known: no clock read
    ArchiveRead r;
    ASSERT_EQ(archives.readHourly(port, 0, 0, at(2026, 3, 13, 5, 30), at(2026, 3, 14, 2, 10), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE520, 0xE040}));
    std::vector<ValueBytes> expected = hours(kHourly, 1, 5, 23, 0);
    append(expected, hours(kHourly, 2, 0, 2, 0));
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-13 05:00");
    for (const Bytes& b : port.bodies)
        EXPECT_NE(b, (Bytes{0x01, 0x40, 0x17}));
}

// From midnight to 01:00 the newest hour, 23:00, lies in yesterday's slot 2: slot 3 is the
// controller's day, whose first hour has not ended yet.
TEST_F(HourlyTest, JustAfterMidnightYesterdayIsSlotTwo) {
    setClock(2026, 3, 15, 0, 30);
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readHourly(port, 0, 5, at(2026, 3, 14, 22), at(2026, 3, 15, 0, 10), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xF645}));   // hours 22 and 23 of slot 2
    EXPECT_EQ(r.records, hours(kHourly, 2, 22, 23, 5));
    // A period from five days back starts at midnight three days back, in slot 0.
    memory.requested.clear();
    ASSERT_EQ(archives.readHourly(port, 0, 5, at(2026, 3, 10), at(2026, 3, 15), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE005, 0xE025, 0xE045}));
    EXPECT_EQ(stamp(r.firstTime), "2026-03-12 00:00");
    EXPECT_EQ(r.records.size(), 3u * 24);
}

TEST_F(HourlyTest, PeriodsOutsideTheWindowGive22AndBadArchiveNumbers21) {
    struct Case { double start, end; int archive; ExchangeResult result; };
    const Case cases[] = {
        {at(2026, 3, 14, 5), at(2026, 3, 14, 4), 0, 22},    // start after end
        {at(2026, 3, 1), at(2026, 3, 11, 23), 0, 22},       // ends before the oldest hour
        {at(2026, 3, 15, 10), at(2026, 3, 16), 0, 22},      // starts after the newest hour
        {at(2026, 3, 14), at(2026, 3, 14, 1), 32, 21},
        {at(2026, 3, 14), at(2026, 3, 14, 1), -1, 21},
    };
    for (const auto& c : cases) {
        double t = at(2026, 3, 15, 10, 35);
        ArchiveRead r;
        EXPECT_EQ(archives.readHourly(port, 0, c.archive, c.start, c.end, t, r), c.result);
        EXPECT_TRUE(r.records.empty());
    }
    EXPECT_TRUE(port.written.empty());
}

TEST_F(HourlyTest, ExchangeErrorKeepsTheValuesReadBefore) {
    memory.missing.insert(0xE060);   // the newest day does not answer
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    EXPECT_EQ(archives.readHourly(port, 0, 0, at(2026, 3, 14, 22), at(2026, 3, 15, 3), t, r), 1);
    EXPECT_EQ(r.records, hours(kHourly, 2, 22, 23, 0));
}

TEST_F(HourlyTest, ChainJoinsFourDayBlocksOldestFirst) {
    const int list[] = {5, 7};   // archive 5: the 4 days up to today, archive 7: the 4 before
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyChain(port, 0, list, at(2026, 3, 9, 12), at(2026, 3, 13, 1), t, r), 0);
    // Block 1 ends on the 11th (slot 3) and starts on the 8th (slot 0).
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xEC27, 0xE047, 0xE067, 0xE005, 0xE025}));
    std::vector<ValueBytes> expected = hours(kHourly, 1, 12, 23, 7);
    append(expected, hours(kHourly, 2, 0, 23, 7));
    append(expected, hours(kHourly, 3, 0, 23, 7));
    append(expected, hours(kHourly, 0, 0, 23, 5));
    append(expected, hours(kHourly, 1, 0, 1, 5));
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-09 12:00");

    // A period inside the newest block: the older block has nothing and is skipped.
    memory.requested.clear();
    ASSERT_EQ(archives.readHourlyChain(port, 0, list, at(2026, 3, 14, 3), at(2026, 3, 14, 4), t, r), 0);
    EXPECT_EQ(r.records, hours(kHourly, 2, 3, 4, 5));
    EXPECT_EQ(stamp(r.firstTime), "2026-03-14 03:00");

    EXPECT_EQ(archives.readHourlyChain(port, 0, list, at(2026, 2, 1), at(2026, 3, 1), t, r), 22);
    memory.missing.insert(0xE047);
    EXPECT_EQ(archives.readHourlyChain(port, 0, list, at(2026, 3, 9, 12), at(2026, 3, 13, 1), t, r), 1);
    EXPECT_EQ(r.records.size(), 12u);   // the values before the failure stay
}

TEST_F(HourlyTest, LongChainsAreNotLimitedByAFixedValueArea) {
    std::vector<int> list(32);
    for (int i = 0; i < 32; ++i)
        list[std::size_t(i)] = i;
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyChain(port, 0, list, at(2025, 1, 1), at(2026, 3, 16), t, r), 0);
    EXPECT_EQ(r.records.size(), 31u * 96 + 3 * 24 + 10);   // far more than 1150 values
    EXPECT_EQ(stamp(r.firstTime), "2025-11-08 00:00");      // block 31 ends 124 days back, spans 4 days
    EXPECT_EQ(r.records.front(), rec(kHourly, 0, 0, 31));
    EXPECT_EQ(r.records.back(), rec(kHourly, 3, 9, 0));
}

// The extended ring: its newest day is the 11th (4 days before the controller's day), its
// oldest the 29th of January (42 days).
TEST_F(HourlyTest, ExtendedReadRunsThroughTheRingAndContinuesWithTheFourDayArchive) {
    port.values[0x4114] = {5, 0};   // the 11th sits in slot 5
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyExtended(port, 0, 2, at(2026, 3, 9, 6), at(2026, 3, 13, 3), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE382, 0xE482, 0xE582, 0xE002, 0xE022}));
    std::vector<ValueBytes> expected = hours(kExtended, 3, 6, 23, 2);
    append(expected, hours(kExtended, 4, 0, 23, 2));
    append(expected, hours(kExtended, 5, 0, 23, 2));
    append(expected, hours(kHourly, 0, 0, 23, 2));
    append(expected, hours(kHourly, 1, 0, 3, 2));
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-09 06:00");
    EXPECT_EQ(port.bodies.front(), (Bytes{0x01, 0x41, 0x14}));
}

TEST_F(HourlyTest, ExtendedRingWrapsAfterSlot41) {
    port.values[0x4114] = {1, 0};
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyExtended(port, 0, 3, at(2026, 3, 9), at(2026, 3, 11, 23), t, r), 0);
    // slot 41: high 0xE0 | 9, low (0x80 | 0x20) + 3
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE9A3, 0xE083, 0xE183}));
    EXPECT_EQ(r.records.size(), 72u);
    EXPECT_EQ(r.records.front(), rec(kExtended, 41, 0, 3));
    EXPECT_EQ(r.records.back(), rec(kExtended, 1, 23, 3));
}

TEST_F(HourlyTest, ExtendedWindowHoldsFortyTwoDistinctDays) {
    port.values[0x4114] = {20, 0};
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyExtended(port, 0, 0, at(2025, 12, 1), at(2026, 3, 20), t, r), 0);
    EXPECT_EQ(stamp(r.firstTime), "2026-01-29 00:00");
    EXPECT_EQ(r.records.size(), 42u * 24 + 3 * 24 + 10);
    std::vector<int> slots;
    for (std::size_t i = 0; i < 42; ++i)
        slots.push_back(r.records[i * 24][1]);
    EXPECT_EQ(slots.front(), 21);   // the oldest day follows the newest in the ring
    EXPECT_EQ(slots.back(), 20);
    EXPECT_EQ(std::set<int>(slots.begin(), slots.end()).size(), 42u);
    EXPECT_EQ(r.records[42 * 24], rec(kHourly, 0, 0, 0));
}

TEST_F(HourlyTest, ExtendedReadOfRecentHoursUsesTheFourDayArchiveOnly) {
    port.values[0x4114] = {5, 0};
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyExtended(port, 0, 1, at(2026, 3, 14, 20), at(2026, 3, 14, 21), t, r), 0);
    EXPECT_EQ(r.records, hours(kHourly, 2, 20, 21, 1));
    EXPECT_EQ(stamp(r.firstTime), "2026-03-14 20:00");
    // A pointer outside the ring: only the four-day part is read.
    port.values[0x4114] = {42, 0};
    memory.requested.clear();
    ASSERT_EQ(archives.readHourlyExtended(port, 0, 1, at(2026, 3, 1), at(2026, 3, 12, 1), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE001}));
    EXPECT_EQ(r.records, hours(kHourly, 0, 0, 1, 1));
    EXPECT_EQ(archives.readHourlyExtended(port, 0, 1, at(2026, 1, 1), at(2026, 1, 10), t, r), 22);
}

TEST_F(HourlyTest, ExtendedPointerIsTheSecondByteOnCanBus) {
    port.canValues[0x4114] = {0xEE, 5};
    port.canValues[0xE581] = Bytes(96, 0x11);   // slot 5, archive 1: the 11th
    double t = at(2026, 3, 15, 10, 35);
    ArchiveRead r;
    ASSERT_EQ(archives.readHourlyExtended(port, 11, 1, at(2026, 3, 11, 22), at(2026, 3, 11, 23), t, r), 0);
    EXPECT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0], (ValueBytes{0x11, 0x11, 0x11, 0x11}));
    EXPECT_EQ(port.canFrames.size(), 1u + 24u);   // the pointer, then 96 bytes in frames of 4
}

// ---- daily --------------------------------------------------------------------------------

TEST_F(ArchiveTest, DailyReadAtMinuteZeroAsksToReadAgainLater) {
    setClock(2026, 3, 15, 10, 0);
    double t = 0;
    ArchiveRead r;
    EXPECT_EQ(archives.readDaily(port, 0, 0, at(2026, 3, 1), at(2026, 3, 5), t, r), 23);
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x01, 0x40, 0x15}}));
    EXPECT_LT(t, 10.0);
}

// Reporting hour 9; the controller shows 2026-03-15 10:20; flag A clear: the newest complete
// day is the 15th, the ring's slots 15..27 still hold February 16..28.
class DailyTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        setClock(2026, 3, 15, 10, 20);
        setReporting(9, 1, 0x55);
    }
};

TEST_F(DailyTest, SingleArchiveRunsFromLastMonthIntoThisOne) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readDaily(port, 0, 4, at(2026, 2, 20), at(2026, 3, 3), t, r), 0);
    EXPECT_EQ(stamp(t), "2026-03-15 10:00");   // the clock in the reporting-hour mode
    EXPECT_EQ(port.bodies[0], (Bytes{0x01, 0x40, 0x15}));
    EXPECT_EQ(port.bodies[1], (Bytes{0x01, 0x40, 0x02}));
    EXPECT_EQ(port.bodies[2], (Bytes{0x01, 0x43, 0x02}));
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xE0C4}));   // all 31 slots
    std::vector<ValueBytes> expected = days(19, 27, 4);               // February 20..28
    append(expected, days(0, 2, 4));                                  // March 1..3
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-02-20 00:00");
}

TEST_F(DailyTest, PeriodsAreCutToWhatTheRingHolds) {
    struct Case { double start, end; ExchangeResult result; std::vector<uint16_t> requests;
                  std::vector<ValueBytes> records; const char* first; };
    const Case cases[] = {
        // starts before February 16: moved there
        {at(2026, 2, 10), at(2026, 2, 18), 0, {0xE0C4}, days(15, 17, 4), "2026-02-16 00:00"},
        // inside this month after the 1st: from that day's slot on
        {at(2026, 3, 5), at(2026, 3, 20), 0, {0xE4C4}, days(4, 14, 4), "2026-03-05 00:00"},
        // one day: one 4-byte request
        {at(2026, 3, 7, 13), at(2026, 3, 7, 18), 0, {0xC6C4}, days(6, 6, 4), "2026-03-07 00:00"},
        {at(2026, 1, 1), at(2026, 2, 15), 22, {}, {}, ""},
        {at(2026, 3, 16), at(2026, 3, 20), 22, {}, {}, ""},
    };
    for (const auto& c : cases) {
        memory.requested.clear();
        double t = 0;
        ArchiveRead r;
        ASSERT_EQ(archives.readDaily(port, 0, 4, c.start, c.end, t, r), c.result) << stamp(c.start);
        EXPECT_EQ(memory.requested, c.requests) << stamp(c.start);
        EXPECT_EQ(r.records, c.records) << stamp(c.start);
        if (c.result == 0) {
            EXPECT_EQ(stamp(r.firstTime), c.first);
        }
    }
}

TEST_F(DailyTest, KnownControllerTimeReusesTheReportingSettings) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readDaily(port, 0, 1, at(2026, 3, 1), at(2026, 3, 2), t, r), 0);
    port.bodies.clear();
    ASSERT_EQ(archives.readDaily(port, 0, 2, at(2026, 3, 1), at(2026, 3, 2), t, r), 0);
    ASSERT_EQ(port.bodies.size(), 1u);   // only the archive itself
    EXPECT_EQ(r.records, days(0, 1, 2));
}

TEST_F(DailyTest, PairReadTakesLastMonthFromTheSecondArchive) {
    setClock(2026, 4, 10, 10, 20);   // the newest day is April 10; March is the previous month
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 3, 28), at(2026, 4, 3), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xFBC7, 0xE0C6}));
    std::vector<ValueBytes> expected = days(27, 30, 7);   // March 28..31 from archive 7
    append(expected, days(0, 2, 6));                       // April 1..3 from archive 6
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-28 00:00");

    // One day: the archive of the month it lies in.
    memory.requested.clear();
    ASSERT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 3, 30), at(2026, 3, 30), t, r), 0);
    ASSERT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 4, 2), at(2026, 4, 2), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xDDC7, 0xC1C6}));

    // The previous month fails: its values are skipped and the current month still comes.
    memory.missing.insert(0xFBC7);
    ASSERT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 3, 28), at(2026, 4, 3), t, r), 0);
    EXPECT_EQ(r.records, days(0, 2, 6));
    EXPECT_EQ(stamp(r.firstTime), "2026-04-01 00:00");
    EXPECT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 3, 28), at(2026, 3, 30), t, r), 1);
}

TEST_F(DailyTest, PairReadJustAfterTheMonthTurnedReadsTheEndedMonthFromTheSecondArchive) {
    setClock(2026, 4, 1, 10, 20);
    setReporting(9, 1, 0x05);   // flag A: the newest complete day is one day back, March 31
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readDailyPair(port, 0, 6, 7, at(2026, 3, 25), at(2026, 4, 1), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xF8C7}));
    EXPECT_EQ(r.records, days(24, 30, 7));
    EXPECT_EQ(stamp(r.firstTime), "2026-03-25 00:00");
}

TEST_F(DailyTest, SingleArchiveRightAfterAMonthEndKeepsOnlyTheDaysNotYetOverwritten) {
    // Flag A, reporting hour 9, controller on May 1 at 10:20: the newest complete day is
    // April 30, and slot 30 still holds March 31.
    setClock(2026, 5, 1, 10, 20);
    setReporting(9, 1, 0x05);
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readDaily(port, 0, 2, at(2026, 3, 1), at(2026, 4, 2), t, r), 0);
    std::vector<ValueBytes> expected = days(30, 30, 2);
    append(expected, days(0, 1, 2));
    EXPECT_EQ(r.records, expected);
    EXPECT_EQ(stamp(r.firstTime), "2026-03-31 00:00");
}

// ---- monthly ------------------------------------------------------------------------------

class MonthlyTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        setClock(2026, 3, 15, 10, 20);
        setReporting(9, 1, 0x50);   // flag B: the newest month is March, the oldest April 2025
    }
};

TEST_F(MonthlyTest, MonthsAcrossTheYearEndOneRequestEach) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readMonthly(port, 0, 9, at(2025, 11, 1), at(2026, 2, 1), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xCA89, 0xCB89, 0xC089, 0xC189}));
    EXPECT_EQ(stamp(r.firstTime), "2025-11-01 00:00");
    EXPECT_EQ(r.records.size(), 4u);
}

TEST_F(MonthlyTest, PeriodIsCutToTheTwelveMonthsHeld) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readMonthly(port, 0, 0, at(2024, 1, 1), at(2026, 12, 31), t, r), 0);
    EXPECT_EQ(r.records.size(), 12u);
    EXPECT_EQ(stamp(r.firstTime), "2025-04-01 00:00");
    EXPECT_EQ(r.records.front(), rec(kMonthly, 3, 0, 0));
    EXPECT_EQ(r.records.back(), rec(kMonthly, 2, 0, 0));

    EXPECT_EQ(archives.readMonthly(port, 0, 0, at(2024, 1, 1), at(2025, 4, 1), t, r), 22);   // ends on the oldest
    EXPECT_EQ(archives.readMonthly(port, 0, 0, at(2026, 3, 16), at(2026, 4, 1), t, r), 22);
    EXPECT_EQ(archives.readMonthly(port, 0, 64, at(2025, 6, 1), at(2025, 7, 1), t, r), 21);
}

TEST_F(MonthlyTest, MarchIsNotHeldWhileTheNewestMonthIsFebruary) {
    setReporting(9, 20, 0x50);   // flag B with reporting day 20 after the 15th: one month back
    double t = 0;
    ArchiveRead r;
    EXPECT_EQ(archives.readMonthly(port, 0, 0, at(2026, 3, 1), at(2026, 3, 31), t, r), 22);
}

TEST_F(MonthlyTest, StartOnTheThirtyFirstDoesNotSkipFebruary) {
    double t = 0;
    ArchiveRead r;
    ASSERT_EQ(archives.readMonthly(port, 0, 1, at(2026, 1, 31), at(2026, 3, 31), t, r), 0);
    EXPECT_EQ(memory.requested, (std::vector<uint16_t>{0xC081, 0xC181}));
}

TEST_F(MonthlyTest, OnlyMidnightStopsAMonthlyRead) {
    setClock(2026, 3, 15, 5, 0);
    double t = 0;
    ArchiveRead r;
    EXPECT_EQ(archives.readMonthly(port, 0, 1, at(2026, 1, 1), at(2026, 2, 1), t, r), 0);
    setClock(2026, 3, 15, 0, 0);
    t = 0;
    EXPECT_EQ(archives.readMonthly(port, 0, 1, at(2026, 1, 1), at(2026, 2, 1), t, r), 24);
}

TEST(ArchiveValues, DecodeAsRealsOrIntegers) {
    ArchiveRead r;
    r.records = {{0x81, 0x40, 0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x80, 0x3F}};
    EXPECT_EQ(archiveReals(r, 0), (std::vector<double>{1.0, kInvalidValue, 0.0}));
    EXPECT_EQ(archiveReals(r, 11)[2], 1.0);
    EXPECT_EQ(archiveIntegers(r), (std::vector<uint32_t>{129000000u + 0x400000, 271777215u, 0x803Fu}));
}
