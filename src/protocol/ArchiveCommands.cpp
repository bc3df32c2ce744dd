#include "protocol/ArchiveCommands.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "text/DateTime.h"

namespace kv {

namespace {

constexpr uint16_t kYearAddress = 0x4017;
constexpr uint16_t kDayMonthAddress = 0x4016;
constexpr uint16_t kHourMinuteAddress = 0x4015;
constexpr uint16_t kReportingAddress = 0x4002;
constexpr uint16_t kFlagsAddress = 0x4302;
constexpr uint16_t kExtendedPointerAddress = 0x4114;
constexpr uint16_t kCanDateAddress = 0xF017;
constexpr uint16_t kCanTimeAddress = 0xF018;
constexpr uint8_t kCanClockControl = 3;

constexpr int kMaxHourlyArchive = 31;
constexpr int kMaxDayMonthArchive = 63;
constexpr int kHourlySlots = 4;
constexpr int kExtendedSlots = 42;
constexpr int kRecord = 4;

// Days and hours are counted as whole numbers (day number = days since 1899-12-30, hour
// number = day × 24 + hour), so that stepping through a period never drifts.
int64_t dayOf(double v) { return int64_t(std::llround(text::truncToDay(v))); }
int hourOfDay(double v) { return text::decodeDateTime(v).hour; }
int64_t hourOf(double v) { return dayOf(v) * 24 + hourOfDay(v); }
double atHour(int64_t hour) { return double(hour / 24) + text::encodeTime(int(hour % 24), 0, 0); }
double atDay(int64_t day) { return double(day); }

struct Ymd { int year, month, day; };
Ymd civil(int64_t day) {
    const text::CivilDateTime c = text::decodeDateTime(double(day));
    return {c.year, c.month, c.day};
}
int64_t dayFrom(int year, int month, int day) { return int64_t(std::llround(text::encodeDate(year, month, day))); }
int64_t firstOfMonth(int64_t day) {
    const Ymd c = civil(day);
    return dayFrom(c.year, c.month, 1);
}
bool sameMonth(int64_t a, int64_t b) {
    const Ymd x = civil(a), y = civil(b);
    return x.year == y.year && x.month == y.month;
}

int fromBcd(uint8_t b) {
    const int hi = b >> 4, lo = b & 0x0F;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}

void appendRecords(ArchiveRead& out, std::span<const uint8_t> raw, std::size_t first, std::size_t count) {
    for (std::size_t i = first; i < first + count; ++i) {
        ValueBytes v;
        std::copy_n(raw.begin() + std::ptrdiff_t(i * kRecord), kRecord, v.begin());
        out.records.push_back(v);
    }
}

} // namespace

std::vector<double> archiveReals(const ArchiveRead& read, int channelType, TraceLog* trace) {
    std::vector<double> v;
    v.reserve(read.records.size());
    for (const ValueBytes& r : read.records)
        v.push_back(decodeChannelReal(r, channelType, trace));
    return v;
}

std::vector<uint32_t> archiveIntegers(const ArchiveRead& read, TraceLog* trace) {
    std::vector<uint32_t> v;
    v.reserve(read.records.size());
    for (const ValueBytes& r : read.records)
        v.push_back(decodeControllerInteger(r, trace));
    return v;
}

ArchiveCommands::ArchiveCommands(Exchange& engine, CanLink& can, Commands& commands)
    : engine_(engine), can_(can), commands_(commands) {}

ExchangeResult ArchiveCommands::read(SerialPort& port, int channelType, uint8_t high, uint8_t low,
                                     std::span<uint8_t> out) {
    return commands_.readAddress(port, channelType, uint16_t((high << 8) | low), out);
}

// ---- clock ------------------------------------------------------------------------------

ExchangeResult ArchiveCommands::readClock(SerialPort& port, int channelType, int mode, double& dateTime) {
    if (isCanChannel(channelType))
        return readCanClock(port, channelType, CanClockForm::Frames, true, dateTime);

    // Two-wire lines need a pause after each read before the next request.
    const bool pause = channelType == 2 || channelType == 7;
    std::array<std::array<uint8_t, 2>, 3> words{};
    const uint16_t addresses[] = {kYearAddress, kDayMonthAddress, kHourMinuteAddress};
    for (std::size_t i = 0; i < 3; ++i) {
        if (const ExchangeResult r = commands_.readAddress(port, channelType, addresses[i], words[i]); r != 0)
            return r;
        if (pause)
            engine_.clock().sleepMs(120);
    }
    const int year = words[0][0] * 100 + words[0][1];
    const int day = words[1][0], month = words[1][1];
    const int hour = words[2][0], minute = words[2][1];
    if (!text::isValidDate(year, month, day) || hour > 23 || minute > 59)
        return 19;

    const int64_t date = dayFrom(year, month, day);
    if (mode == kClockLastHour) {
        int64_t h = date * 24 + hour;
        if (minute == 0)
            --h;
        --h;
        dateTime = atHour(h);
    } else if (mode >= 0 && mode <= 23) {
        const int64_t d = minute == 0 && hour == mode ? date - 1 : date;
        dateTime = atHour(d * 24 + hour);
    } else {
        dateTime = atDay(date) + text::encodeTime(hour, minute, 0);
    }
    return 0;
}

ExchangeResult ArchiveCommands::readCanClock(SerialPort& port, int channelType, CanClockForm form,
                                             bool withTime, double& dateTime) {
    const bool frames = form == CanClockForm::Frames;
    ExchangeResult r = frames ? can_.controlFrame(port, kCanClockControl)
                              : can_.controlGateway(port, channelType, kCanClockControl);
    if (r != 0)
        return r;
    auto readFour = [&](uint16_t address, std::array<uint8_t, 4>& d) {
        return frames ? can_.readFrames(port, address, d) : can_.readGateway(port, channelType, address, d);
    };
    // Data byte i is byte 6 + i of the reply image: the date sits in bytes 7, 8, 9.
    std::array<uint8_t, 4> d{};
    if ((r = readFour(kCanDateAddress, d)) != 0)
        return r;
    const int day = fromBcd(d[1]), month = fromBcd(d[2]), yy = fromBcd(d[3]);
    if (day < 1 || day > 31 || month < 1 || month > 12 || yy < 0 || !text::isValidDate(2000 + yy, month, day))
        return 44;
    double value = atDay(dayFrom(2000 + yy, month, day));
    if (withTime) {
        if ((r = readFour(kCanTimeAddress, d)) != 0)
            return r;
        const int hour = fromBcd(d[3]), minute = fromBcd(d[2]), second = fromBcd(d[1]);
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
            return 44;
        value += text::encodeTime(hour, minute, second);
    }
    dateTime = value;
    return 0;
}

ExchangeResult ArchiveCommands::readReportingSettings(SerialPort& port, int channelType,
                                                      ReportingSettings& settings) {
    std::array<uint8_t, 2> hd{}, flags{};
    if (const ExchangeResult r = commands_.readAddress(port, channelType, kReportingAddress, hd); r != 0)
        return r;
    if (const ExchangeResult r = commands_.readAddress(port, channelType, kFlagsAddress, flags); r != 0)
        return r;
    if (isCanChannel(channelType)) {
        std::swap(hd[0], hd[1]);
        std::swap(flags[0], flags[1]);
    }
    const int hour = fromBcd(hd[0]), day = fromBcd(hd[1]);
    // The later period arithmetic needs a real hour and day of month.
    if (hour < 0 || hour > 23 || day < 0 || day > 31)
        return 19;
    settings.hour = hour;
    settings.day = day;
    settings.flagA = (flags[0] & 0xF0) == 0;
    settings.flagB = (flags[0] & 0x0F) == 0;
    settings_ = settings;
    settingsRead_ = true;
    return 0;
}

ExchangeResult ArchiveCommands::ensureClock(SerialPort& port, int channelType, double& controllerTime) {
    if (controllerTime >= 10.0)
        return 0;
    return readClock(port, channelType, kClockAsRead, controllerTime);
}

// ---- hourly -----------------------------------------------------------------------------

// One 4-day archive as block `block` of a chain (0 = the plain read). `startHour` moves on to
// the day after the last day read, so that the next block continues from there.
ExchangeResult ArchiveCommands::hourlyBlock(SerialPort& port, int channelType, int archive, int block,
                                            int64_t& startHour, int64_t endHour, double controllerTime,
                                            ArchiveRead& out) {
    if (archive < 0 || archive > kMaxHourlyArchive)
        return 21;
    // Slot 3 holds the block's newest day: the controller's day itself for the plain read.
    // From 00:00 to 01:00 the newest hour (23:00) lies in yesterday's slot 2, so the slots
    // are counted from that day and not from the newest hour's.
    int64_t newest, oldest, slot3Day;
    if (block == 0) {
        newest = hourOf(controllerTime) - 1;
        slot3Day = dayOf(controllerTime);
    } else {
        slot3Day = dayOf(controllerTime) - 4 * int64_t(block);
        newest = slot3Day * 24 + 23;
    }
    oldest = (slot3Day - 3) * 24;
    if (startHour > endHour || endHour < oldest || startHour > newest)
        return 22;
    endHour = std::min(endHour, newest);

    int64_t k = slot3Day - startHour / 24;
    if (k > kHourlySlots - 1) {
        // A continued read never starts before the block it continues into; if one did, its
        // slot would not exist.
        if (!out.records.empty())
            return 22;
        startHour = oldest;
        k = kHourlySlots - 1;
    }
    if (out.records.empty())
        out.firstTime = atHour(startHour);

    std::array<uint8_t, 24 * kRecord> raw{};
    for (int64_t slot = kHourlySlots - 1 - k; startHour <= endHour; ++slot) {
        const int h = int(startHour % 24);
        const int64_t day = startHour / 24;
        const uint8_t low = uint8_t(slot * 32 + archive);
        if (startHour == endHour) {
            const auto one = std::span(raw).first(kRecord);
            if (const ExchangeResult r = read(port, channelType, uint8_t(0xC0 + h), low, one); r != 0)
                return r;
            appendRecords(out, one, 0, 1);
        } else {
            const int last = day == endHour / 24 ? int(endHour % 24) : 23;
            const auto part = std::span(raw).first(std::size_t(24 - h) * kRecord);
            if (const ExchangeResult r = read(port, channelType, uint8_t(0xE0 + h), low, part); r != 0)
                return r;
            appendRecords(out, part, 0, std::size_t(last - h + 1));
        }
        startHour = (day + 1) * 24;
    }
    return 0;
}

ExchangeResult ArchiveCommands::readHourly(SerialPort& port, int channelType, int archive, double start,
                                           double end, double& controllerTime, ArchiveRead& out) {
    out.clear();
    if (archive < 0 || archive > kMaxHourlyArchive)
        return 21;
    if (const ExchangeResult r = ensureClock(port, channelType, controllerTime); r != 0)
        return r;
    int64_t startHour = hourOf(start);
    return hourlyBlock(port, channelType, archive, 0, startHour, hourOf(end), controllerTime, out);
}

ExchangeResult ArchiveCommands::readHourlyChain(SerialPort& port, int channelType, std::span<const int> archives,
                                                double start, double end, double& controllerTime,
                                                ArchiveRead& out) {
    out.clear();
    if (archives.empty())
        return 22;
    if (const ExchangeResult r = ensureClock(port, channelType, controllerTime); r != 0)
        return r;
    int64_t startHour = hourOf(start);
    const int64_t endHour = hourOf(end);
    for (int f = int(archives.size()) - 1; f >= 0; --f) {
        const ExchangeResult r = hourlyBlock(port, channelType, archives[std::size_t(f)], f, startHour,
                                             endHour, controllerTime, out);
        if (r != 0 && r != 22)
            return r;
    }
    return out.records.empty() ? 22 : 0;
}

ExchangeResult ArchiveCommands::readHourlyExtended(SerialPort& port, int channelType, int archive, double start,
                                                   double end, double& controllerTime, ArchiveRead& out) {
    out.clear();
    if (archive < 0 || archive > kMaxHourlyArchive)
        return 21;
    std::array<uint8_t, 2> pointerWord{};
    if (const ExchangeResult r = commands_.readAddress(port, channelType, kExtendedPointerAddress, pointerWord); r != 0)
        return r;
    const int pointer = isCanChannel(channelType) ? pointerWord[1] : pointerWord[0];
    if (const ExchangeResult r = ensureClock(port, channelType, controllerTime); r != 0)
        return r;

    int64_t startHour = hourOf(start);
    const int64_t endHour = hourOf(end);
    // The ring holds 42 days, the newest 4 days before the controller's day. A 43rd, older day
    // would map onto the newest day's slot and show its values under the wrong date.
    const int64_t lastDay = dayOf(controllerTime) - 4;
    const int64_t firstDay = lastDay - (kExtendedSlots - 1);

    ExchangeResult extended = 22;
    if (startHour <= endHour && endHour >= firstDay * 24 && pointer < kExtendedSlots) {
        const int64_t extEnd = std::min(endHour, lastDay * 24 + 23);
        int64_t start2 = startHour;
        int64_t d = lastDay - start2 / 24;
        if (d > kExtendedSlots - 1) {
            start2 = firstDay * 24;
            d = kExtendedSlots - 1;
        }
        int64_t slot = pointer - d;
        if (slot < 0)
            slot += kExtendedSlots;
        out.firstTime = atHour(start2);
        extended = 0;
        std::array<uint8_t, 24 * kRecord> raw{};
        while (start2 <= extEnd) {
            const int h = int(start2 % 24);
            const int64_t day = start2 / 24;
            const int last = day == extEnd / 24 ? int(extEnd % 24) : 23;
            const uint8_t high = uint8_t(0xE0 | (slot & 0x1F));
            const uint8_t low = uint8_t((0x80 | (slot & 0x20)) + archive);
            if (const ExchangeResult r = read(port, channelType, high, low, raw); r != 0)
                return r;
            appendRecords(out, raw, std::size_t(h), std::size_t(last - h + 1));
            start2 = (day + 1) * 24;
            slot = slot == kExtendedSlots - 1 ? 0 : slot + 1;
        }
        if (out.records.empty())
            extended = 22;
    }
    if (!out.records.empty()) {
        const double next = out.firstTime + double(out.records.size()) / 24.0;
        startHour = int64_t(std::llround(next)) * 24;
    }
    const ExchangeResult plain = hourlyBlock(port, channelType, archive, 0, startHour, endHour, controllerTime, out);
    if (plain == 22)
        return extended == 0 ? 0 : 22;
    return plain;
}

// ---- daily and monthly ------------------------------------------------------------------

ExchangeResult ArchiveCommands::prepareDayMonth(SerialPort& port, int channelType, bool monthly,
                                                double& controllerTime) {
    if (controllerTime >= 10.0) {
        if (settingsRead_)
            return 0;
        ReportingSettings s;
        return readReportingSettings(port, channelType, s);
    }
    std::array<uint8_t, 2> hm{};
    if (const ExchangeResult r = commands_.readAddress(port, channelType, kHourMinuteAddress, hm); r != 0)
        return r;
    if (isCanChannel(channelType))
        std::swap(hm[0], hm[1]);
    const uint8_t hour = hm[0], minute = hm[1];
    if (minute == 0) {
        if (!monthly)
            return 23;
        if (hour == 0)
            return 24;
    }
    ReportingSettings s;
    if (const ExchangeResult r = readReportingSettings(port, channelType, s); r != 0)
        return r;
    return readClock(port, channelType, s.hour, controllerTime);
}

ExchangeResult ArchiveCommands::readDaily(SerialPort& port, int channelType, int archive, double start,
                                          double end, double& controllerTime, ArchiveRead& out) {
    return daily(port, channelType, archive, -1, start, end, controllerTime, out);
}

ExchangeResult ArchiveCommands::readDailyPair(SerialPort& port, int channelType, int current, int previous,
                                              double start, double end, double& controllerTime, ArchiveRead& out) {
    if (previous < 0 || previous > kMaxDayMonthArchive) {
        out.clear();
        return 21;
    }
    return daily(port, channelType, current, previous, start, end, controllerTime, out);
}

ExchangeResult ArchiveCommands::daily(SerialPort& port, int channelType, int first, int second, double start,
                                      double end, double& controllerTime, ArchiveRead& out) {
    out.clear();
    if (first < 0 || first > kMaxDayMonthArchive)
        return 21;
    const bool pair = second >= 0;
    if (const ExchangeResult r = prepareDayMonth(port, channelType, false, controllerTime); r != 0)
        return r;

    // x: the newest complete day; y: its neighbour that tells whether the ring has turned over.
    const ReportingSettings& rs = settings_;
    const bool later = rs.hour > hourOfDay(controllerTime);
    const int64_t today = dayOf(controllerTime);
    const int64_t back = rs.flagA ? (later ? 2 : 1) : (later ? 1 : 0);
    const int64_t x = today - back;
    const int64_t y = back == 0 ? x - 1 : x + 1;

    const int64_t p0Start = firstOfMonth(x);
    const int64_t prevLast = p0Start - 1;
    const int64_t prevFirst = firstOfMonth(prevLast);
    const int dayX = civil(x).day;
    bool p0Empty = false;
    int64_t p1Start, p1End;
    if (!pair) {
        if (sameMonth(y, x) || (civil(today).day == 1 && !rs.flagA)) {
            const int64_t from = prevFirst + dayX;   // day (day of x + 1) of the previous month
            if (from <= prevLast) {
                p1Start = from;
                p1End = prevLast;
            } else {
                p1Start = p0Start;
                p1End = x;
            }
        } else if (dayX == 31) {
            p1Start = p0Start;
            p1End = x;
        } else {
            p1End = prevLast;
            p1Start = prevLast - (30 - dayX);
        }
    } else if (!sameMonth(y, x) && rs.flagA) {
        p1Start = p0Start;
        p1End = x;
        p0Empty = true;
    } else {
        p1Start = prevFirst;
        p1End = prevLast;
    }

    int64_t s = dayOf(start), e = dayOf(end);
    if (e < p1Start || s > x || s > e)
        return 22;
    s = std::max(s, p1Start);
    e = std::min(e, x);
    out.firstTime = atDay(s);

    std::array<uint8_t, 31 * kRecord> raw{};
    if (s == e) {
        // Of a pair, the previous month's archive holds the days outside the current month's period.
        const bool inCurrent = !p0Empty && s >= p0Start;
        const int n = pair && !inCurrent ? second : first;
        const auto one = std::span(raw).first(kRecord);
        const ExchangeResult r = read(port, channelType, uint8_t(0xC0 + civil(s).day - 1), uint8_t(0xC0 + n), one);
        if (r == 0)
            appendRecords(out, one, 0, 1);
        return r;
    }

    ExchangeResult previousPart = 0;
    if (pair && s <= p1End) {
        const int ds = civil(s).day;
        const auto part = std::span(raw).first(std::size_t(32 - ds) * kRecord);
        previousPart = read(port, channelType, uint8_t(0xE0 + ds - 1), uint8_t(0xC0 + second), part);
        if (previousPart == 0)
            appendRecords(out, part, 0, std::size_t(std::min(e, p1End) - s + 1));
        else
            out.firstTime = atDay(p0Start);
        if (!p0Empty)
            s = p0Start;
    }
    if (p0Empty || s > e)
        return out.records.empty() && previousPart != 0 ? previousPart : 0;

    if (s > p0Start) {
        const int ds = civil(s).day;
        const auto part = std::span(raw).first(std::size_t(32 - ds) * kRecord);
        if (const ExchangeResult r = read(port, channelType, uint8_t(0xE0 + ds - 1), uint8_t(0xC0 + first), part); r != 0)
            return r;
        appendRecords(out, part, 0, std::size_t(e - s + 1));
    } else {
        if (const ExchangeResult r = read(port, channelType, 0xE0, uint8_t(0xC0 + first), raw); r != 0)
            return r;
        // Slot i holds day i + 1: a period that starts in the previous month runs through its
        // last day and on with day 1 of this month.
        for (int64_t d = s; d <= e; ++d)
            appendRecords(out, raw, std::size_t(civil(d).day - 1), 1);
    }
    return 0;
}

ExchangeResult ArchiveCommands::readMonthly(SerialPort& port, int channelType, int archive, double start,
                                            double end, double& controllerTime, ArchiveRead& out) {
    out.clear();
    if (archive < 0 || archive > kMaxDayMonthArchive)
        return 21;
    if (const ExchangeResult r = prepareDayMonth(port, channelType, true, controllerTime); r != 0)
        return r;

    const ReportingSettings& rs = settings_;
    const int64_t base = dayOf(controllerTime) - (rs.hour > hourOfDay(controllerTime) ? 1 : 0);
    Ymd n = civil(base);
    if (rs.flagB && rs.day > n.day) {
        if (--n.month == 0) {
            n.month = 12;
            --n.year;
        }
    } else if (!rs.flagB && rs.day <= n.day) {
        if (++n.month == 13) {
            n.month = 1;
            ++n.year;
        }
    }
    // A day the stepped month does not have (the 31st in a 30-day month) becomes its last day.
    const int64_t newest = dayFrom(n.year, n.month, std::min(n.day, text::daysInMonth(n.year, n.month)));
    int oy = n.year, om = n.month - 11;
    if (om < 1) {
        om += 12;
        --oy;
    }
    const int64_t oldest = dayFrom(oy, om, 1);

    int64_t s = dayOf(start), e = dayOf(end);
    if (s > e || e <= oldest || s > newest)
        return 22;
    s = std::max(s, oldest);
    e = std::min(e, newest);
    out.firstTime = atDay(s);

    // Month by month with the start's day of month (the last day where a month is shorter), so
    // a start on the 29th to 31st never steps over February.
    std::array<uint8_t, kRecord> raw{};
    for (int k = 0;; ++k) {
        const int64_t at = dayOf(text::addMonths(atDay(s), k));
        if (at > e)
            break;
        const uint8_t high = uint8_t(0xC0 + civil(at).month - 1);
        if (const ExchangeResult r = read(port, channelType, high, uint8_t(0x80 + archive), raw); r != 0)
            return r;
        appendRecords(out, raw, 0, 1);
    }
    return 0;
}

} // namespace kv
