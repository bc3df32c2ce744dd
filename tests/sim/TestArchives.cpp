// The simulated controller's archives: what its archive memory answers at each address as
// its clock runs, and the program's archive reads against it over a simulated line, checked
// value by value against what the controller keeps for each hour, day and month.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "protocol/ArchiveCommands.h"
#include "protocol/LineControl.h"
#include "sim/SimPort.h"
#include "sim/Values.h"
#include "text/DateTime.h"

namespace kv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

double at(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
{
    return dateTimeFromCivil({y, m, d, hh, mm, ss});
}
std::string stamp(double v) { return text::formatDateTime("yyyy-mm-dd hh:nn", v); }

// ---- the archive memory -------------------------------------------------------------------

struct MemoryTest : ::testing::Test {
    explicit MemoryTest(int model = 3) : ctl(clock, options(model)) {}
    static ControllerOptions options(int model)
    {
        ControllerOptions o;
        o.model = model;
        o.spravPath = std::string(KV_SOURCE_DIR) + "/data/demo/Sprav.txt";
        return o;
    }
    Reply run(const Bytes& body, Face face = Face::Serial)
    {
        ExecContext c;
        c.face = face;
        c.atUs = clock.nowUs();
        return ctl.execute(body, c);
    }
    Bytes read(uint8_t hi, uint8_t lo, Face face = Face::Serial)
    {
        const Reply r = run({0x01, hi, lo}, face);
        EXPECT_EQ(r.kind, Reply::Kind::Data) << std::hex << int(hi) << " " << int(lo);
        return r.data;
    }
    // Record i of a reply.
    static Bytes rec(const Bytes& reply, std::size_t i)
    {
        return i * 4 + 4 <= reply.size() ? Bytes(reply.begin() + std::ptrdiff_t(i * 4), reply.begin() + std::ptrdiff_t(i * 4 + 4))
                                         : Bytes{};
    }
    Bytes stored(ArchiveKind kind, int n, double label, Face face = Face::Serial)
    {
        const auto r = ctl.archives().record(kind, n, label, face);
        return Bytes(r.begin(), r.end());
    }
    void setTime(double t) { clock.set(t); }

    VirtualClock clock{at(2026, 3, 15, 10, 35)};
    Controller ctl;
};

const Bytes kMarker{0xFF, 0xFF, 0xFF, 0xFF};

TEST_F(MemoryTest, AddressesAnswerTheirRecordsAndRefuseWhatTheModelDoesNotKeep)
{
    struct Case {
        uint8_t hi, lo;
        int records;   // 0: refused
    };
    const Case cases[] = {
        {0xC5, 0x43, 1},    // hourly: hour 5 of slot 2, archive 3
        {0xE5, 0x43, 19},   // hourly: hours 5..23
        {0xD8, 0x03, 0},    // there is no hour 24
        {0xF8, 0x03, 0},
        {0xE9, 0xA0, 24},   // extended ring: slot 41 of archive 0
        {0xE0, 0x84, 24},   // slot 0 of archive 4
        {0xEA, 0xA0, 0},    // slot 42 does not exist
        {0xE0, 0x81, 0},    // archive 1 is not extended
        {0xCB, 0x80, 1},    // monthly: December, archive 0
        {0xCC, 0x80, 0},    // no thirteenth month
        {0xC0, 0xBE, 1},    // monthly archive 62 ...
        {0xC0, 0xBF, 0},    // ... is this model's last
        {0xDE, 0xC5, 1},    // daily: the 31st, archive 5
        {0xE0, 0xC5, 31},   // daily: days 1..31
        {0xFE, 0xFF, 1},    // day 31 of archive 63
        {0xFF, 0xC0, 0},    // no day 32
    };
    for (const Case& c : cases) {
        const Reply r = run({0x01, c.hi, c.lo});
        if (c.records == 0) {
            EXPECT_EQ(r.kind, Reply::Kind::Refused) << std::hex << int(c.hi) << " " << int(c.lo);
        } else {
            EXPECT_EQ(r.kind, Reply::Kind::Data) << std::hex << int(c.hi) << " " << int(c.lo);
            EXPECT_EQ(r.data.size(), std::size_t(c.records) * 4) << std::hex << int(c.hi) << " " << int(c.lo);
        }
    }
    // A model with 32 daily and monthly archives keeps no archive 32.
    VirtualClock clk;
    Controller small(clk, options(1));
    EXPECT_EQ(small.execute(Bytes{0x01, 0xC0, 0xDF}, {}).kind, Reply::Kind::Data);
    EXPECT_EQ(small.execute(Bytes{0x01, 0xC0, 0xE0}, {}).kind, Reply::Kind::Refused);
    EXPECT_EQ(small.execute(Bytes{0x01, 0xC0, 0xA0}, {}).kind, Reply::Kind::Refused);
    // Its built-in parameters leave the archive memory alone: hour 0 of slot 0, archive 16.
    ExecContext now;
    now.atUs = clk.nowUs();
    const auto first = small.archives().record(ArchiveKind::Hourly, 16, std::floor(clk.now()) - 3, Face::Serial);
    EXPECT_EQ(small.execute(Bytes{0x01, 0xC0, 0x10}, now).data, Bytes(first.begin(), first.end()));
}

// Slot 3 is the controller's day from midnight on; an hour's record appears when the hour
// ends.
TEST_F(MemoryTest, HourlySlotsTurnAtMidnightAndFillAsTheHoursEnd)
{
    struct Case {
        double now;
        double slot3Day;   // the day slot 3 holds
        int complete;      // hours of slot 3 already stored
    };
    const Case cases[] = {
        {at(2026, 3, 14, 23, 59, 59), at(2026, 3, 14), 23},
        {at(2026, 3, 15, 0, 30), at(2026, 3, 15), 0},
        {at(2026, 3, 15, 1, 0, 0), at(2026, 3, 15), 1},
        {at(2026, 3, 15, 10, 59, 59), at(2026, 3, 15), 10},
        {at(2026, 3, 15, 11, 0, 0), at(2026, 3, 15), 11},
        {at(2027, 1, 1, 0, 10), at(2027, 1, 1), 0},
    };
    for (const Case& c : cases) {
        setTime(c.now);
        SCOPED_TRACE(stamp(c.now));
        const Bytes day = read(0xE0, 0x60 + 7);   // slot 3, archive 7, hours 0..23
        for (int h = 0; h < 24; ++h) {
            const Bytes want = h < c.complete ? stored(ArchiveKind::Hourly, 7, c.slot3Day + h / 24.0) : kMarker;
            EXPECT_EQ(rec(day, std::size_t(h)), want) << h;
        }
        // Slot 0 is three days before slot 3, whole.
        const Bytes oldest = read(0xE0, 0x00 + 7);
        EXPECT_EQ(rec(oldest, 0), stored(ArchiveKind::Hourly, 7, c.slot3Day - 3));
        EXPECT_EQ(rec(oldest, 23), stored(ArchiveKind::Hourly, 7, c.slot3Day - 3 + 23 / 24.0));
    }
    // The single-hour address gives the same record.
    setTime(at(2026, 3, 15, 11, 0, 0));
    EXPECT_EQ(read(0xCA, 0x60 + 7), stored(ArchiveKind::Hourly, 7, at(2026, 3, 15, 10)));
}

TEST_F(MemoryTest, ExtendedRingPointerStepsAtMidnightAndTheRingWraps)
{
    // The ring's newest day is 4 days back; its slot is that day number modulo 42.
    setTime(at(2026, 3, 15, 23, 59, 59));
    const int p = ctl.archives().extendedPointer(ctl.dateTime());
    EXPECT_EQ(p, int(std::lround(at(2026, 3, 11))) % 42);
    EXPECT_EQ(read(0x41, 0x14)[0], p);
    EXPECT_EQ(read(0x41, 0x14, Face::Can)[1], p);
    setTime(at(2026, 3, 16, 0, 0, 1));
    const int next = (p + 1) % 42;
    EXPECT_EQ(read(0x41, 0x14)[0], next);

    // Slot `next` now holds the 12th; the slot after it the oldest day, 41 days before.
    auto slotAddress = [](int slot, int n) {
        return std::pair<uint8_t, uint8_t>{uint8_t(0xE0 | (slot & 0x1F)), uint8_t((0x80 | (slot & 0x20)) + n)};
    };
    const auto [hi, lo] = slotAddress(next, 4);
    const Bytes newest = read(hi, lo);
    EXPECT_EQ(rec(newest, 0), stored(ArchiveKind::Hourly, 4, at(2026, 3, 12)));
    EXPECT_EQ(rec(newest, 23), stored(ArchiveKind::Hourly, 4, at(2026, 3, 12, 23)));
    const auto [hi2, lo2] = slotAddress((next + 1) % 42, 4);
    EXPECT_EQ(rec(read(hi2, lo2), 5), stored(ArchiveKind::Hourly, 4, at(2026, 3, 12) - 41 + 5 / 24.0));
}

TEST_F(MemoryTest, DayAndMonthRecordsAreWrittenInTheMinuteAfterTheReportingMoment)
{
    ReportingSettingsSim rs;
    rs.hour = 9;
    rs.day = 15;
    rs.flagA = true;
    rs.flagB = true;
    ctl.archives().setReporting(rs);
    // Flag A: the 14th runs from 09:00 on the 14th to 09:00 on the 15th; slot 13 holds
    // February 14 until 09:01.
    setTime(at(2026, 3, 15, 9, 0, 30));
    EXPECT_EQ(read(0xCD, 0xC2), stored(ArchiveKind::Daily, 2, at(2026, 2, 14)));
    EXPECT_EQ(read(0xCC, 0xC2), stored(ArchiveKind::Daily, 2, at(2026, 3, 13)));
    // Flag B: March ends with the reporting day and hour of March.
    EXPECT_EQ(read(0xC2, 0x82), stored(ArchiveKind::Monthly, 2, at(2025, 3, 1)));
    setTime(at(2026, 3, 15, 9, 1));
    EXPECT_EQ(read(0xCD, 0xC2), stored(ArchiveKind::Daily, 2, at(2026, 3, 14)));
    EXPECT_EQ(read(0xC2, 0x82), stored(ArchiveKind::Monthly, 2, at(2026, 3, 1)));
    const auto [from, to] = ctl.archives().period(ArchiveKind::Monthly, at(2026, 3, 1));
    EXPECT_EQ(stamp(from), "2026-02-15 09:00");
    EXPECT_EQ(stamp(to), "2026-03-15 09:00");

    // A reporting day the month does not have: February ends on March 1.
    rs.day = 31;
    ctl.archives().setReporting(rs);
    EXPECT_EQ(stamp(ctl.archives().period(ArchiveKind::Monthly, at(2026, 2, 1)).second), "2026-03-01 09:00");
    EXPECT_EQ(stamp(ctl.archives().period(ArchiveKind::Monthly, at(2026, 3, 1)).second), "2026-03-31 09:00");
    // Without flag A a day carries the date it ends on.
    rs.flagA = false;
    ctl.archives().setReporting(rs);
    EXPECT_EQ(stamp(ctl.archives().period(ArchiveKind::Daily, at(2026, 3, 14)).first), "2026-03-13 09:00");
}

TEST_F(MemoryTest, ValuesAreMeansOfTheLiveValueOrCounterReadings)
{
    // Archive 0: supply temperature of pipeline 0 (80/01); archive 4: its heat energy counter
    // (80/32), read at the end of each period.
    const double hour = at(2026, 3, 14, 7);
    double lo = 1e9, hi = -1e9, sum = 0;
    for (int m = 0; m < 60; ++m) {
        setTime(hour + m / 1440.0);
        const double v = decodeControllerReal(read(0x80, 0x01));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
    }
    const double mean = ctl.archives().value(ArchiveKind::Hourly, 0, hour);
    EXPECT_GE(mean, lo);
    EXPECT_LE(mean, hi);
    EXPECT_NEAR(mean, sum / 60, 0.05);
    setTime(hour + 1.0 / 24);
    const Bytes counter = read(0x80, 0x32);
    EXPECT_EQ(stored(ArchiveKind::Hourly, 4, hour), counter);
    EXPECT_EQ(stored(ArchiveKind::Hourly, 4, hour, Face::Can), counter) << "integers travel alike";

    // Days and months differ: the heating load moves with the weather and the season.
    std::set<long> days, months;
    for (int d = 1; d <= 10; ++d)
        days.insert(std::lround(1000 * ctl.archives().value(ArchiveKind::Daily, 0, at(2026, 3, d))));
    for (int m = 1; m <= 12; ++m)
        months.insert(std::lround(1000 * ctl.archives().value(ArchiveKind::Monthly, 0, at(2026, m, 1))));
    EXPECT_EQ(days.size(), 10u);
    EXPECT_EQ(months.size(), 12u);
    const double january = ctl.archives().value(ArchiveKind::Monthly, 0, at(2026, 2, 1));   // ends Feb 1
    const double july = ctl.archives().value(ArchiveKind::Monthly, 0, at(2026, 8, 1));
    EXPECT_GT(january, july + 5) << "supply runs hotter in winter";
}

TEST_F(MemoryTest, DescriptorsDescribeTheArchivesKept)
{
    struct Case {
        uint8_t hi, lo;
        Bytes serial;
    };
    const Case cases[] = {
        {0x40, 0x0A, {0x80, 0x40}},   // hourly 0: extended
        {0x41, 0x0A, {0x00, 0x40}},   // hourly 1: simple
        {0x59, 0x0A, {0x10, 24}},     // hourly 25: level 1 of 24
        {0x5B, 0x0A, {0x30, 24}},     // hourly 27: level 3 of 24
        {0x5D, 0x0B, {0x10, 28}},     // daily 29: previous month of 28
        {0x40, 0x33, {0x80, 0x01}},   // hourly 0 records 80/01
        {0x4C, 0x33, {0x81, 0x32}},   // hourly 12: heat energy of pipeline 1
        {0x59, 0x33, {0x83, 0x09}},   // a continuation records its head's parameter
        {0x7E, 0x35, {0x83, 0x03}},   // monthly 62: supply pressure of pipeline 3
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.hi, c.lo), c.serial) << std::hex << int(c.hi) << " " << int(c.lo);
        EXPECT_EQ(read(c.hi, c.lo, Face::Can), (Bytes{c.serial[1], c.serial[0]}));
    }
    EXPECT_EQ(run({0x01, 0x7F, 0x0C}).kind, Reply::Kind::Refused) << "model 3 keeps 63 monthly archives";
}

TEST_F(MemoryTest, ReportingSettingsTakeOnlyRealHoursAndDays)
{
    auto write = [this](uint8_t hi, uint8_t lo, Bytes v, Face face = Face::Serial) {
        EXPECT_EQ(run({0x05, 0x40, 0x07, uint8_t(~hi), uint8_t(~lo)}, face).kind, Reply::Kind::Ack);
        Bytes body{0x05, hi, lo};
        body.insert(body.end(), v.begin(), v.end());
        return run(body, face).kind;
    };
    EXPECT_EQ(read(0x40, 0x02), (Bytes{0x00, 0x01}));
    EXPECT_EQ(read(0x43, 0x02), (Bytes{0x00, 0x00}));
    EXPECT_EQ(write(0x40, 0x02, {0x09, 0x25}), Reply::Kind::Ack);
    EXPECT_EQ(write(0x40, 0x02, {0x24, 0x01}), Reply::Kind::Refused);
    EXPECT_EQ(write(0x40, 0x02, {0x0A, 0x01}), Reply::Kind::Refused);
    EXPECT_EQ(write(0x40, 0x02, {0x10, 0x00}), Reply::Kind::Refused);
    EXPECT_EQ(write(0x43, 0x02, {0x00, 0x50}, Face::Can), Reply::Kind::Ack);   // swapped on CAN-BUS
    const ReportingSettingsSim s = ctl.archives().reporting();
    EXPECT_EQ(s.hour, 9);
    EXPECT_EQ(s.day, 25);
    EXPECT_FALSE(s.flagA);
    EXPECT_TRUE(s.flagB);
    EXPECT_EQ(read(0x40, 0x02, Face::Can), (Bytes{0x25, 0x09}));
}

// ---- the program's archive reads against the simulated controller -----------------------

struct ReadRig {
    explicit ReadRig(int channelType = 0) : exchange(clock, pump, trace), can(exchange), cmds(exchange, can),
                                            archives(exchange, can, cmds), type(channelType)
    {
        StationOptions o;
        o.controller.model = 3;
        o.channelType = channelType;
        opener = std::make_unique<SimPortOpener>(o, &clock);
        exchange.state().attemptCount = 1;
        can.setInitBlock(makeCanInitBlock({}));
        port = openLine(*opener, "Com1", 5, channelType, exchange, [this](SerialPort& sp) { return can.initAdapter(sp); });
    }
    Controller& ctl() { return opener->station().controller(); }
    Archives& arch() { return ctl().archives(); }
    void setReporting(int hour, int day, bool flagA, bool flagB) { arch().setReporting({hour, day, flagA, flagB}); }
    // The controller's clock; the line's own time runs on undisturbed.
    void setNow(double t) { ctl().setDateTime(t); }

    // The values as the program decodes them, against what the controller keeps for each
    // period from the first time stamp on (`step`: the label of value i).
    void expectStored(const ArchiveRead& r, ArchiveKind kind, int n, const std::function<double(double, std::size_t)>& step)
    {
        const std::vector<double> got = archiveReals(r, type);
        const Face face = type >= 11 ? Face::Can : Face::Serial;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const double label = step(r.firstTime, i);
            const auto want = arch().record(kind, n, label, face);
            EXPECT_EQ(got[i], decodeChannelReal(want, type)) << stamp(label);
        }
    }
    void expectHours(const ArchiveRead& r, int n)
    {
        expectStored(r, ArchiveKind::Hourly, n, [](double first, std::size_t i) { return first + double(i) / 24; });
    }
    void expectDays(const ArchiveRead& r, int n)
    {
        expectStored(r, ArchiveKind::Daily, n, [](double first, std::size_t i) { return first + double(i); });
    }

    VirtualClock clock{at(2026, 3, 15, 10, 35)};
    NullEventPump pump;
    NullTraceLog trace;
    Exchange exchange;
    CanLink can;
    Commands cmds;
    ArchiveCommands archives;
    std::unique_ptr<SimPortOpener> opener;
    std::unique_ptr<SerialPort> port;
    int type;
};

// On 2026-02-26 the ring's newest day is the 22nd, in slot 1, so the days before it sit in
// slots 0, 41 and 40: the read runs through the wrap and into the 4-day archive, and a long
// period through all 42 days of the ring.
TEST(ArchiveReads, ExtendedReadRunsThroughTheWrappingRingIntoTheFourDayArchive)
{
    ReadRig r;
    r.setNow(at(2026, 2, 26, 14, 20));
    ASSERT_EQ(r.arch().extendedPointer(r.ctl().dateTime()), 1);
    double t = 0;
    ArchiveRead got;
    ASSERT_EQ(r.archives.readHourlyExtended(*r.port, 0, 4, at(2026, 2, 19, 6), at(2026, 2, 24, 3), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-02-19 06:00");
    EXPECT_EQ(got.records.size(), 18u + 3 * 24 + 24 + 4);
    r.expectHours(got, 4);

    ASSERT_EQ(r.archives.readHourlyExtended(*r.port, 0, 0, at(2025, 12, 1), at(2026, 3, 4), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-01-12 00:00");   // 42 days up to February 22
    EXPECT_EQ(got.records.size(), 42u * 24 + 3 * 24 + 14);
    r.expectHours(got, 0);
}

// Hour 0: the newest hour is 23:00 yesterday, in slot 2; a period from five days back starts
// at midnight three days back, in slot 0. A chain of four blocks runs on without a gap.
TEST(ArchiveReads, HourlyReadsJustAfterMidnightAndAcrossTheYear)
{
    ReadRig r;
    r.setNow(at(2027, 1, 1, 0, 25));
    double t = 0;
    ArchiveRead got;
    ASSERT_EQ(r.archives.readHourly(*r.port, 0, 9, at(2026, 12, 27), at(2027, 1, 1, 0, 20), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-12-29 00:00");
    EXPECT_EQ(got.records.size(), 3u * 24);
    r.expectHours(got, 9);

    const int chain[] = {24, 25, 26, 27};
    t = 0;
    ASSERT_EQ(r.archives.readHourlyChain(*r.port, 0, chain, at(2026, 12, 1), at(2027, 1, 1), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-12-17 00:00");   // block 3 ends 12 days back
    EXPECT_EQ(got.records.size(), 15u * 24);
    r.expectHours(got, 24);
}

// Reporting hour 9, flag A clear: the newest day is today from 09:01 on. The pair reads
// March from the previous-month archive and April from the current one.
TEST(ArchiveReads, DailyPairAcrossTheMonthBoundary)
{
    ReadRig r;
    r.setReporting(9, 1, false, true);
    r.setNow(at(2026, 4, 10, 10, 20));
    double t = 0;
    ArchiveRead got;
    ASSERT_EQ(r.archives.readDailyPair(*r.port, 0, 28, 29, at(2026, 3, 25), at(2026, 4, 12), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-03-25 00:00");
    EXPECT_EQ(got.records.size(), 7u + 10);
    r.expectDays(got, 28);

    // Flag A: once April 30 is complete the previous-month archive holds all of April.
    r.setReporting(9, 1, true, true);
    r.setNow(at(2026, 5, 1, 10, 20));
    t = 0;
    ASSERT_EQ(r.archives.readDailyPair(*r.port, 0, 28, 29, at(2026, 4, 20), at(2026, 5, 1), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2026-04-20 00:00");
    EXPECT_EQ(got.records.size(), 11u);
    r.expectDays(got, 28);
    // A day later May 1 comes from the current archive, April still from the previous one.
    r.setNow(at(2026, 5, 2, 10, 20));
    t = 0;
    ASSERT_EQ(r.archives.readDailyPair(*r.port, 0, 30, 31, at(2026, 4, 29), at(2026, 5, 2), t, got), 0);
    EXPECT_EQ(got.records.size(), 3u);
    r.expectDays(got, 30);
}

// Over the CAN adapter the same archives come as IEEE singles, the settings and the pointer
// with their bytes swapped.
TEST(ArchiveReads, CanBusReadsTheSameArchives)
{
    ReadRig r(11);
    r.setReporting(9, 1, true, true);
    r.setNow(at(2028, 3, 2, 10, 20));
    double t = 0;
    ArchiveRead got;
    // Leap February: the ring after March 1 still holds February 2..29.
    ASSERT_EQ(r.archives.readDaily(*r.port, 11, 3, at(2028, 2, 26), at(2028, 3, 2), t, got), 0);
    EXPECT_EQ(stamp(got.firstTime), "2028-02-26 00:00");
    EXPECT_EQ(got.records.size(), 5u);   // to March 1, the newest complete day
    r.expectDays(got, 3);

    t = 0;
    ASSERT_EQ(r.archives.readHourlyExtended(*r.port, 11, 0, at(2028, 2, 26, 22), at(2028, 2, 27, 1), t, got), 0);
    EXPECT_EQ(got.records.size(), 4u);
    r.expectHours(got, 0);

    t = 0;
    ASSERT_EQ(r.archives.readMonthly(*r.port, 11, 7, at(2027, 6, 1), at(2028, 3, 1), t, got), 0);
    EXPECT_EQ(got.records.size(), 10u);
    r.expectStored(got, ArchiveKind::Monthly, 7,
                   [](double first, std::size_t i) { return text::addMonths(first, int(i)); });
}

} // namespace
} // namespace kv::sim
