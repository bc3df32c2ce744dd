// kvarnik-cli's archive command against the simulated controller on virtual time: every line
// it prints is the value the controller keeps for that hour, day or month, and the periods
// come out right at the edges of the controller's calendar.

#include <gtest/gtest.h>

#include <sstream>

#include "app/CliFixture.h"
#include "protocol/ControllerReal.h"

using namespace kv;
using Kind = sim::ArchiveKind;

namespace {

double at(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
{
    return text::encodeDate(y, m, d) + text::encodeTime(hh, mm, ss);
}
std::string stamp(double v) { return text::formatDateTime("yyyy-mm-dd hh:nn", v); }

struct Line {
    std::string when, value;
};

class CliArchives : public test::CliFixture {
protected:
    sim::Archives& archives() { return sim_->station().controller().archives(); }
    // The controller's clock; the program's virtual time runs on undisturbed.
    void setNow(double t) { sim_->station().controller().setDateTime(t); }
    void setReporting(int hour, int day, bool flagA, bool flagB) { archives().setReporting({hour, day, flagA, flagB}); }

    std::vector<Line> lines() const
    {
        std::vector<Line> v;
        std::istringstream in(out_.str());
        for (std::string l; std::getline(in, l);) {
            const auto semi = l.find(';');
            v.push_back({l.substr(0, semi), semi == std::string::npos ? "" : l.substr(semi + 1)});
        }
        return v;
    }
    // What the controller keeps for a period, as the tool prints it.
    std::string stored(Kind kind, int n, double label, bool asInt = false)
    {
        const int type = ws_->settings().channelType;
        const ValueBytes r = archives().record(kind, n, label, type > 10 ? sim::Face::Can : sim::Face::Serial);
        if (asInt)
            return std::to_string(decodeControllerInteger(r));
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.3f", decodeChannelReal(r, type));
        return buf;
    }


    // Runs `archive KIND N --from FROM --to TO` at controller time `now` and checks every line
    // against the stored value of its period: `count` lines from `first` on, hour by hour,
    // day by day or month by month.
    void expectArchive(double now, const char* kind, int n, const std::string& from, const std::string& to,
                       const std::string& first, std::size_t count, bool asInt = false)
    {
        SCOPED_TRACE(std::string(kind) + " " + std::to_string(n) + " at " + stamp(now) + ": " + from + " .. " + to);
        setNow(now);
        std::vector<std::string> args{"archive", kind, std::to_string(n), "--from", from, "--to", to};
        if (asInt)
            args.push_back("--int");
        ASSERT_EQ(run(args), kCliOk) << err_.str();
        const std::vector<Line> got = lines();
        ASSERT_EQ(got.size(), count) << out_.str();
        const Kind k = kind == std::string("hourly") ? Kind::Hourly
                              : kind == std::string("daily") ? Kind::Daily
                                                             : Kind::Monthly;
        double label = 0;
        ASSERT_TRUE(text::encodeDateTime({std::stoi(first.substr(0, 4)), std::stoi(first.substr(5, 2)),
                                          std::stoi(first.substr(8, 2)), std::stoi(first.substr(11, 2)), 0, 0, 0},
                                         label));
        for (std::size_t i = 0; i < got.size(); ++i) {
            const double t = k == Kind::Hourly  ? label + double(i) / 24
                             : k == Kind::Daily ? label + double(i)
                                                       : text::addMonths(label, int(i));
            EXPECT_EQ(got[i].when, stamp(t)) << i;
            EXPECT_EQ(got[i].value, stored(k, n, t, asInt)) << got[i].when;
        }
    }
};

} // namespace

TEST_F(CliArchives, HourlyLinesAreTheHoursTheControllerKeeps)
{
    struct Case {
        double now;
        int archive;
        const char *from, *to, *first;
        std::size_t count;
        bool asInt;
    };
    const Case cases[] = {
        {at(2026, 12, 11, 10, 30), 1, "2026-12-10 05:00", "2026-12-11 03:00", "2026-12-10 05:00", 19 + 4, false},
        // From six days back: midnight three days back, up to the newest hour, 09:00.
        {at(2026, 12, 11, 10, 30), 2, "2026-12-05", "2026-12-12", "2026-12-08 00:00", 3 * 24 + 10, false},
        // One hour.
        {at(2026, 12, 11, 10, 30), 6, "2026-12-09 07:15", "2026-12-09 07:45", "2026-12-09 07:00", 1, false},
        // The heat energy counter as integers.
        {at(2026, 12, 11, 10, 30), 4, "2026-12-11", "2026-12-11 23:00", "2026-12-11 00:00", 10, true},
        // Just after midnight on New Year's day: the old year's last hour is the newest.
        {at(2027, 1, 1, 0, 30), 3, "2026-12-30 12:00", "2027-01-01 00:00", "2026-12-30 12:00", 12 + 24, false},
        {at(2027, 1, 1, 0, 30), 3, "2026-12-20", "2027-01-01", "2026-12-29 00:00", 3 * 24, false},
        // At 01:00 the new year's first hour is there.
        {at(2027, 1, 1, 1, 0, 30), 3, "2026-12-31 23:00", "2027-01-01 05:00", "2026-12-31 23:00", 2, false},
    };
    for (const Case& c : cases)
        expectArchive(c.now, "hourly", c.archive, c.from, c.to, c.first, c.count, c.asInt);
}

TEST_F(CliArchives, HourAppearsWhenItEnds)
{
    expectArchive(at(2026, 12, 11, 10, 59, 50), "hourly", 0, "2026-12-11 08:00", "2026-12-11 12:00",
                  "2026-12-11 08:00", 2);
    expectArchive(at(2026, 12, 11, 11, 0, 10), "hourly", 0, "2026-12-11 08:00", "2026-12-11 12:00",
                  "2026-12-11 08:00", 3);
}

TEST_F(CliArchives, DailyLinesFollowTheReportingHourAndTheMonthEnds)
{
    // Reporting hour 0, flag A: a day is complete at midnight; the ring still holds the
    // previous month from the day after the newest day on.
    expectArchive(at(2026, 12, 11, 10, 30), "daily", 5, "2026-11-20", "2026-12-31", "2026-11-20 00:00", 11 + 10);
    expectArchive(at(2026, 12, 11, 10, 30), "daily", 5, "2026-10-01", "2026-11-15", "2026-11-11 00:00", 5);
    // Leap February: on March 1 the newest day is February 29, and January's 30th and 31st
    // are still in the ring.
    expectArchive(at(2028, 3, 1, 10, 30), "daily", 0, "2028-01-25", "2028-03-01", "2028-01-30 00:00", 2 + 29);
    expectArchive(at(2027, 3, 1, 10, 30), "daily", 0, "2027-01-25", "2027-03-01", "2027-01-29 00:00", 3 + 28);
    // New Year: December 31 is complete at midnight, and the year before is in the ring.
    expectArchive(at(2027, 1, 1, 0, 30), "daily", 1, "2026-12-29", "2027-01-01", "2026-12-29 00:00", 3);

    // Reporting hour 9 without flag A: a day carries the date it ends on, so today's comes at 09:01.
    setReporting(9, 1, false, true);
    expectArchive(at(2026, 12, 11, 8, 30), "daily", 2, "2026-12-05", "2026-12-31", "2026-12-05 00:00", 6);
    expectArchive(at(2026, 12, 11, 9, 30), "daily", 2, "2026-12-05", "2026-12-31", "2026-12-05 00:00", 7);
    // The first of the month after its reporting hour: December's 1st is the newest day and
    // the rest of November is still held.
    expectArchive(at(2026, 12, 1, 9, 30), "daily", 2, "2026-11-28", "2026-12-01", "2026-11-28 00:00", 4);
}

TEST_F(CliArchives, DailyReadAtAFullMinuteIsRefused)
{
    setNow(at(2026, 12, 11, 10, 0, 20));
    EXPECT_EQ(run({"archive", "daily", "0", "--from", "2026-12-01", "--to", "2026-12-05"}), kCliExchangeFailed);
    EXPECT_EQ(err_.str(), exchangeMessage(23) + "\n");
    EXPECT_EQ(out_.str(), "");
}

TEST_F(CliArchives, MonthlyLinesRunAcrossTheYear)
{
    // Reporting day 1, hour 0, flag B: the month that ends on the 1st of February 2027 is the
    // newest on February 15, and the twelve months run from March 2026.
    expectArchive(at(2027, 2, 15, 10, 30), "monthly", 3, "2026-06-01", "2027-02-01", "2026-06-01 00:00", 9);
    expectArchive(at(2027, 2, 15, 10, 30), "monthly", 5, "2025-01-01", "2027-12-01", "2026-03-01 00:00", 12, true);
    // From the 31st: February of a leap year is not stepped over.
    expectArchive(at(2028, 3, 20, 10, 30), "monthly", 0, "2028-01-31", "2028-03-31", "2028-01-31 00:00", 2);

    // A month's value is there from the minute after its end; at midnight itself the read is refused.
    setNow(at(2027, 2, 28, 23, 59));
    EXPECT_EQ(run({"archive", "monthly", "0", "--from", "2027-03-01", "--to", "2027-03-01"}), kCliExchangeFailed);
    EXPECT_EQ(err_.str(), exchangeMessage(22) + "\n");
    setNow(at(2027, 3, 1, 0, 0, 20));
    EXPECT_EQ(run({"archive", "monthly", "0", "--from", "2027-03-01", "--to", "2027-03-01"}), kCliExchangeFailed);
    EXPECT_EQ(err_.str(), exchangeMessage(24) + "\n");
    expectArchive(at(2027, 3, 1, 0, 1, 20), "monthly", 0, "2027-03-01", "2027-03-01", "2027-03-01 00:00", 1);
}

TEST_F(CliArchives, CanBusLinesDeliverWholeBlocks)
{
    // Blocks of hours and days are longer than one gateway read; every value must still be
    // the one of its own hour or day.
    for (int type : {11, 12}) {
        SCOPED_TRACE("channel type " + std::to_string(type));
        useLine(type);
        expectArchive(at(2026, 12, 11, 10, 30), "hourly", 1, "2026-12-10 05:00", "2026-12-11 03:00",
                      "2026-12-10 05:00", 19 + 4);
        expectArchive(at(2026, 12, 11, 10, 30), "daily", 5, "2026-11-20", "2026-12-31", "2026-11-20 00:00", 11 + 10);
        expectArchive(at(2026, 12, 11, 10, 30), "monthly", 3, "2026-06-01", "2026-12-01", "2026-06-01 00:00", 7);
    }
}
