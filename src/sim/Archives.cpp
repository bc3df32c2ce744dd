#include "sim/Archives.h"

#include <algorithm>
#include <cmath>

#include "sim/Values.h"

namespace kv::sim {

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kHour = 3600;
constexpr int64_t kSample = 300;        // the controller averages five-minute values
constexpr int64_t kCloseDelay = 60;     // day and month records are written in the minute after
constexpr int kHourlySlots = 4;
constexpr int kExtendedSlots = 42;
constexpr int kRecord = 4;
constexpr std::array<uint8_t, 4> kNoRecord{0xFF, 0xFF, 0xFF, 0xFF};

int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }
// Whole seconds since 1899-12-30, so that hours and days are counted without drift.
int64_t secondsOf(double t) { return std::llround(t * double(kDay)); }
double atSeconds(int64_t s) { return double(s) / double(kDay); }

struct Ymd {
    int year, month, day;
};
Ymd ymd(int64_t dayNo)
{
    const CivilTime c = civilFromDateTime(double(dayNo));
    return {c.year, c.month, c.day};
}
int64_t monthIndex(int year, int month) { return int64_t(year) * 12 + (month - 1); }
int yearOf(int64_t mi) { return int(floorDiv(mi, 12)); }
int monthOf(int64_t mi) { return int(floorMod(mi, 12)) + 1; }
int monthDays(int64_t mi) { return daysInMonth(yearOf(mi), monthOf(mi)); }
int64_t dayOf(int64_t mi, int day) { return daysFromCivil(yearOf(mi), monthOf(mi), day); }

// The heat point's quantities the archives record, by their pipeline parameter code.
struct Quantity {
    uint8_t code;
    const char* name;
    bool integer;
};
constexpr Quantity kQuantities[8] = {
    {0x01, "Температура подачи, °С", false},
    {0x02, "Температура обратной воды, °С", false},
    {0x09, "Тепловая мощность, Гкал/ч", false},
    {0x07, "Массовый расход подачи, т/ч", false},
    {0x32, "Тепловая энергия нарастающим итогом", true},
    {0x1E, "Объем нарастающим итогом, м3", true},
    {0x03, "Давление в подающем трубопроводе", false},
    {0x0A, "Разность температур, °С", false},
};

ArchiveDef quantityOf(int q, int pipeline)
{
    ArchiveDef d;
    d.addressHigh = uint8_t(0x80 + pipeline);
    d.code = kQuantities[q].code;
    d.integer = kQuantities[q].integer;
    return d;
}

// The archives the simulated controller is set up with. The eight quantities run over the
// pipelines; hourly 0 and 4 (supply temperature and heat energy of pipeline 0) are extended;
// hourly 24 and 28 head chains of three continuations (16 days of heat power and heat energy
// of pipeline 3); daily 28 and 30 each have a continuation holding the previous month.
ArchiveDef layout(ArchiveKind kind, int n)
{
    if (kind == ArchiveKind::Hourly && n >= 24) {
        const int head = n < 28 ? 24 : 28;
        ArchiveDef d = quantityOf(head == 24 ? 2 : 4, 3);
        if (n != head) {
            d.head = head;
            d.level = n - head;
        }
        return d;
    }
    if (kind == ArchiveKind::Daily && n >= 28 && n < 32) {
        const int head = n < 30 ? 28 : 30;
        ArchiveDef d = quantityOf(head == 28 ? 4 : 0, 3);
        if (n != head) {
            d.head = head;
            d.level = 1;
        }
        return d;
    }
    ArchiveDef d = quantityOf(n % 8, (n / 8) % 4);
    d.extended = kind == ArchiveKind::Hourly && (n == 0 || n == 4);
    return d;
}

std::function<double(double)> liveValueOf(const ArchiveDef& d, int q, const std::vector<ParamDef>& params)
{
    const uint8_t cls = d.addressHigh & 0xC0;
    const int index = d.addressHigh - cls;
    for (const ParamDef& p : params)
        if (p.cls == cls && p.code == d.code && index <= p.maxIndex)
            return plausibleValue(p, index);
    const ParamDef own{kQuantities[q].name, cls, d.code, 15, uint8_t(d.integer ? 2 : 8)};
    return plausibleValue(own, index);
}

int quantityIndex(const ArchiveDef& d)
{
    for (int q = 0; q < 8; ++q)
        if (kQuantities[q].code == d.code)
            return q;
    return 0;
}

// A two-byte cell over storage the archives keep; the CAN-BUS side sees the bytes swapped.
// `accept` checks a written pair (in serial order).
Cell storedPair(std::array<uint8_t, 2>* store, std::function<bool(uint8_t, uint8_t)> accept)
{
    Cell c;
    c.length = 2;
    c.read = [store](const Access& a) {
        if (a.face == Face::Can)
            return std::vector<uint8_t>{(*store)[1], (*store)[0]};
        return std::vector<uint8_t>{(*store)[0], (*store)[1]};
    };
    c.write = [store, accept](std::span<const uint8_t> v, const Access& a) {
        if (v.size() != 2)
            return false;
        const std::array<uint8_t, 2> p = a.face == Face::Can ? std::array<uint8_t, 2>{v[1], v[0]}
                                                             : std::array<uint8_t, 2>{v[0], v[1]};
        if (!accept(p[0], p[1]))
            return false;
        *store = p;
        return true;
    };
    return c;
}

} // namespace

Archives::Archives(const ModelInfo& model) : model_(model) {}

int Archives::count(ArchiveKind kind) const
{
    switch (kind) {
    case ArchiveKind::Hourly: return std::min(model_.hourlyArchives, 32);
    case ArchiveKind::Daily: return std::min(model_.dailyArchives, 64);
    case ArchiveKind::Monthly: return std::min(model_.monthlyArchives, 64);
    }
    return 0;
}

const ArchiveDef* Archives::def(ArchiveKind kind, int n) const
{
    const auto& list = entries_[int(kind)];
    return n >= 0 && std::size_t(n) < list.size() ? &list[std::size_t(n)].def : nullptr;
}

void Archives::install(ParamMemory& mem, const std::vector<ParamDef>& params)
{
    for (int k = 0; k < 3; ++k) {
        const auto kind = ArchiveKind(k);
        auto& list = entries_[std::size_t(k)];
        list.clear();
        for (int n = 0; n < count(kind); ++n) {
            const ArchiveDef d = layout(kind, n);
            list.push_back({d, liveValueOf(d, quantityIndex(d), params)});
            // Descriptor: an extended archive, a continuation (level × 16, head) or a
            // described archive with its parameter at the format address.
            uint8_t b0 = 0x00, b1 = 0x40;
            if (d.head >= 0) {
                b0 = uint8_t(d.level * 16);
                b1 = uint8_t(d.head);
            } else if (d.extended) {
                b0 = 0x80;
            }
            mem.define(ParamMemory::addr(uint8_t(0x40 + n), uint8_t(0x0A + k)), Cell::pair(b0, b1, false));
            mem.define(ParamMemory::addr(uint8_t(0x40 + n), uint8_t(0x33 + k)),
                       Cell::pair(d.addressHigh, d.code, false));
        }
    }

    mem.define(ParamMemory::addr(0x40, 0x02), storedPair(&reportingBytes_, [](uint8_t h, uint8_t d) {
                   const int hour = fromBcd(h), day = fromBcd(d);
                   return hour >= 0 && hour <= 23 && day >= 1 && day <= 31;
               }));
    mem.define(ParamMemory::addr(0x43, 0x02), storedPair(&flagBytes_, [](uint8_t, uint8_t) { return true; }));
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access& a) {
            const auto p = uint8_t(extendedPointer(a.dateTime));
            return a.face == Face::Can ? std::vector<uint8_t>{0, p} : std::vector<uint8_t>{p, 0};
        };
        mem.define(ParamMemory::addr(0x41, 0x14), c);
    }
    mem.addResolver([this](uint16_t address, Face) { return resolve(address); });
}

ReportingSettingsSim Archives::reporting() const
{
    ReportingSettingsSim s;
    s.hour = std::clamp(fromBcd(reportingBytes_[0]), 0, 23);
    s.day = std::clamp(fromBcd(reportingBytes_[1]), 1, 31);
    s.flagA = (flagBytes_[0] & 0xF0) == 0;
    s.flagB = (flagBytes_[0] & 0x0F) == 0;
    return s;
}

void Archives::setReporting(const ReportingSettingsSim& s)
{
    reportingBytes_ = {toBcd(std::clamp(s.hour, 0, 23)), toBcd(std::clamp(s.day, 1, 31))};
    flagBytes_[0] = uint8_t((s.flagA ? 0x00 : 0x50) | (s.flagB ? 0x00 : 0x05));
}

int Archives::extendedPointer(double t) const
{
    return int(floorMod(floorDiv(secondsOf(t), kDay) - 4, kExtendedSlots));
}

// ---- periods ------------------------------------------------------------------------------

// The end of the month labelled `mi`: the reporting day and hour of that month with flag B,
// of the month before without it.
int64_t Archives::monthEndSeconds(int64_t mi) const
{
    const ReportingSettingsSim r = reporting();
    const int64_t m = r.flagB ? mi : mi - 1;
    const int64_t day = r.day <= monthDays(m) ? dayOf(m, r.day) : dayOf(m + 1, 1);
    return day * kDay + r.hour * kHour;
}

int64_t Archives::newestDay(int64_t nowSec) const
{
    const ReportingSettingsSim r = reporting();
    return floorDiv(nowSec - kCloseDelay - r.hour * kHour - (r.flagA ? kDay : 0), kDay);
}

int64_t Archives::newestMonth(int64_t nowSec) const
{
    const Ymd today = ymd(floorDiv(nowSec, kDay));
    int64_t mi = monthIndex(today.year, today.month) + 2;
    while (monthEndSeconds(mi) + kCloseDelay > nowSec)
        --mi;
    return mi;
}

std::pair<double, double> Archives::period(ArchiveKind kind, double label) const
{
    const int64_t s = secondsOf(label);
    int64_t from = 0, to = 0;
    switch (kind) {
    case ArchiveKind::Hourly:
        from = floorDiv(s, kHour) * kHour;
        to = from + kHour;
        break;
    case ArchiveKind::Daily: {
        const ReportingSettingsSim r = reporting();
        from = floorDiv(s, kDay) * kDay + r.hour * kHour - (r.flagA ? 0 : kDay);
        to = from + kDay;
        break;
    }
    case ArchiveKind::Monthly: {
        const Ymd d = ymd(floorDiv(s, kDay));
        const int64_t mi = monthIndex(d.year, d.month);
        from = monthEndSeconds(mi - 1);
        to = monthEndSeconds(mi);
        break;
    }
    }
    return {atSeconds(from), atSeconds(to)};
}

// ---- values -------------------------------------------------------------------------------

double Archives::labelValue(ArchiveKind kind, int n, int64_t label) const
{
    const Entry& e = entry(kind, n);
    int64_t from = 0, to = 0;
    switch (kind) {
    case ArchiveKind::Hourly:
        from = label * kHour;
        to = from + kHour;
        break;
    case ArchiveKind::Daily: {
        const ReportingSettingsSim r = reporting();
        from = label * kDay + r.hour * kHour - (r.flagA ? 0 : kDay);
        to = from + kDay;
        break;
    }
    case ArchiveKind::Monthly:
        from = monthEndSeconds(label - 1);
        to = monthEndSeconds(label);
        break;
    }
    if (e.def.integer)
        return std::clamp(std::floor(e.live(atSeconds(to))), 0.0, 255999999.0);
    double sum = 0;
    int64_t samples = 0;
    for (int64_t t = from + kSample / 2; t < to; t += kSample, ++samples)
        sum += e.live(atSeconds(t));
    return samples ? sum / double(samples) : 0.0;
}

double Archives::value(ArchiveKind kind, int n, double label) const
{
    if (!def(kind, n))
        return kInvalidValue;
    const int64_t s = secondsOf(label);
    switch (kind) {
    case ArchiveKind::Hourly: return labelValue(kind, n, floorDiv(s, kHour));
    case ArchiveKind::Daily: return labelValue(kind, n, floorDiv(s, kDay));
    case ArchiveKind::Monthly: {
        const Ymd d = ymd(floorDiv(s, kDay));
        return labelValue(kind, n, monthIndex(d.year, d.month));
    }
    }
    return kInvalidValue;
}

std::array<uint8_t, 4> Archives::record(ArchiveKind kind, int n, double label, Face face) const
{
    const ArchiveDef* d = def(kind, n);
    if (!d)
        return kNoRecord;
    const double v = value(kind, n, label);
    if (d->integer)
        return encodeControllerInt(uint32_t(v));
    return face == Face::Can ? encodeIeeeLE(v) : encodeControllerReal(v);
}

void Archives::put(std::vector<uint8_t>& out, ArchiveKind kind, int n, std::optional<int64_t> label,
                   Face face) const
{
    std::array<uint8_t, 4> r = kNoRecord;
    if (label) {
        const double v = labelValue(kind, n, *label);
        if (entry(kind, n).def.integer)
            r = encodeControllerInt(uint32_t(v));
        else
            r = face == Face::Can ? encodeIeeeLE(v) : encodeControllerReal(v);
    }
    out.insert(out.end(), r.begin(), r.end());
}

// ---- the archive memory -------------------------------------------------------------------

std::vector<uint8_t> Archives::hourlyRecords(int n, int slot, int fromHour, int toHour, const Access& a) const
{
    const int64_t now = secondsOf(a.dateTime);
    const ArchiveDef& d = entry(ArchiveKind::Hourly, n).def;
    // Slot 3 of the head is the controller's day; a continuation of level L holds the 4 days
    // before those of level L - 1.
    const int64_t newest = floorDiv(now, kHour) - 1;
    const int64_t day = floorDiv(now, kDay) - 4 * d.level - (kHourlySlots - 1 - slot);
    std::vector<uint8_t> out;
    for (int h = fromHour; h <= toHour; ++h) {
        const int64_t hour = day * 24 + h;
        put(out, ArchiveKind::Hourly, n, hour <= newest ? std::optional(hour) : std::nullopt, a.face);
    }
    return out;
}

std::vector<uint8_t> Archives::extendedRecords(int n, int slot, const Access& a) const
{
    const int64_t lastDay = floorDiv(secondsOf(a.dateTime), kDay) - 4;
    const int64_t pointer = floorMod(lastDay, kExtendedSlots);
    const int64_t day = lastDay - floorMod(pointer - slot, kExtendedSlots);
    std::vector<uint8_t> out;
    for (int h = 0; h < 24; ++h)
        put(out, ArchiveKind::Hourly, n, day * 24 + h, a.face);
    return out;
}

std::vector<uint8_t> Archives::dailyRecords(int n, int fromSlot, int toSlot, const Access& a) const
{
    const int64_t x = newestDay(secondsOf(a.dateTime));
    const Ymd xd = ymd(x);
    const int64_t xm = monthIndex(xd.year, xd.month);
    const ArchiveDef& d = entry(ArchiveKind::Daily, n).def;
    // A continuation holds the month(s) before; with flag A it takes over a month as soon as
    // the month's last day is complete.
    const int64_t copied = xm - d.level + (reporting().flagA && xd.day == monthDays(xm) ? 1 : 0);
    std::vector<uint8_t> out;
    for (int slot = fromSlot; slot <= toSlot; ++slot) {
        const int dom = slot + 1;
        std::optional<int64_t> label;
        if (d.level == 0) {
            int64_t m = dom <= xd.day ? xm : xm - 1;
            while (monthDays(m) < dom)
                --m;
            label = dayOf(m, dom);
        } else if (dom <= monthDays(copied)) {
            label = dayOf(copied, dom);
        }
        put(out, ArchiveKind::Daily, n, label, a.face);
    }
    return out;
}

std::vector<uint8_t> Archives::monthlyRecord(int n, int month, const Access& a) const
{
    const int64_t newest = newestMonth(secondsOf(a.dateTime));
    const int year = yearOf(newest) - (month > monthOf(newest) ? 1 : 0);
    std::vector<uint8_t> out;
    put(out, ArchiveKind::Monthly, n, monthIndex(year, month), a.face);
    return out;
}

std::optional<Cell> Archives::resolve(uint16_t address) const
{
    const int hi = address >> 8, lo = address & 0xFF;
    if (hi < 0xC0)
        return std::nullopt;
    const bool run = hi >= 0xE0;   // from the addressed hour or day on to the end
    const int first = hi & 0x1F;
    Cell c;
    if (lo < 0x80) {
        const int slot = lo / 32, n = lo % 32;
        const int last = run ? 23 : first;
        if (first > 23 || n >= count(ArchiveKind::Hourly))
            return std::nullopt;
        c.length = (last - first + 1) * kRecord;
        c.read = [this, n, slot, first, last](const Access& a) { return hourlyRecords(n, slot, first, last, a); };
    } else if (lo < 0xC0 && run) {
        const int slot = first | (lo & 0x20), n = lo & 0x1F;
        if (slot >= kExtendedSlots || n >= count(ArchiveKind::Hourly) || !entry(ArchiveKind::Hourly, n).def.extended)
            return std::nullopt;
        c.length = 24 * kRecord;
        c.read = [this, n, slot](const Access& a) { return extendedRecords(n, slot, a); };
    } else if (lo < 0xC0) {
        const int n = lo - 0x80;
        if (first > 11 || n >= count(ArchiveKind::Monthly))
            return std::nullopt;
        c.length = kRecord;
        c.read = [this, n, first](const Access& a) { return monthlyRecord(n, first + 1, a); };
    } else {
        const int n = lo - 0xC0;
        const int last = run ? 30 : first;
        if (first > 30 || n >= count(ArchiveKind::Daily))
            return std::nullopt;
        c.length = (last - first + 1) * kRecord;
        c.read = [this, n, first, last](const Access& a) { return dailyRecords(n, first, last, a); };
    }
    return c;
}

} // namespace kv::sim
