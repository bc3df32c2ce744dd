#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "sim/Memory.h"
#include "sim/Models.h"
#include "sim/ParamTable.h"

// The controller's archives: hourly, daily and monthly values of heat-point parameters, as the
// controller keeps them in its archive memory and answers them at the archive addresses.
//
// Nothing is stored: every record is worked out from the controller's own clock at the moment
// it is read, so the archives move on by themselves, on virtual time as in real time, and a
// test can work out what any archive holds for any hour, day or month (`value`, `record`).
//
// Address layout (n = archive number, high byte first; every record is 4 bytes):
//
//   hourly, one hour          0xC0 + hour        slot × 32 + n          1 record
//   hourly, hour to 23:00     0xE0 + hour        slot × 32 + n          24 - hour records
//   extended ring, one day    0xE0 | (s & 0x1F)  (0x80 | (s & 0x20)) + n   24 records (s = 0..41)
//   daily, one day            0xC0 + day - 1     0xC0 + n               1 record
//   daily, day to day 31      0xE0 + day - 1     0xC0 + n               32 - day records
//   monthly                   0xC0 + month - 1   0x80 + n               1 record
//   extended ring pointer     0x41 0x14          first byte: the slot of the ring's newest day
//   reporting hour and day    0x40 0x02          BCD
//   reporting flags           0x43 0x02          first byte: high nibble 0 = flag A, low nibble 0 = flag B
//   descriptors               0x40 + n, 0x0A / 0x0B / 0x0C (hourly / daily / monthly)
//   parameter of an archive   0x40 + n, 0x33 / 0x34 / 0x35
// Two-byte cells come with their bytes swapped on the CAN-BUS side; real values travel there
// as IEEE singles, counter readings as controller integers on both sides.
//
// What the slots hold at controller time t:
//   hourly        slot 3 is t's day, slots 2, 1, 0 the days before it; the ring turns at
//                 midnight. An hour's record is written when the hour ends: until then it
//                 holds the invalid marker (all of slot 3 from 00:00 to 01:00). A
//                 continuation archive of level L holds the 4 days that end 4 × L days
//                 before t's day, so a chain runs on without gap or overlap, and the 4-day
//                 archive continues the extended ring.
//   extended      42 days, the newest 4 days before t's day; its slot is that day number
//                 modulo 42, so the pointer steps on at midnight and wraps after slot 41.
//   daily         slot i holds the newest complete day whose day of month is i + 1. A day's
//                 value covers 24 hours from the reporting hour: of that very date with
//                 flag A, of the date before without it (the value carries the date it ends
//                 on). It fills in the minute after its period ends, the minute in which
//                 reads are refused. A continuation archive (level 1) holds the previous
//                 month by day of month; with flag A it takes over the month as soon as its
//                 last day is complete.
//   monthly       slot m - 1 holds the newest complete month m of the last twelve. A month's
//                 value runs up to the reporting day and hour of that month with flag B
//                 (of the month before it without flag B); a reporting day the month lacks
//                 means its end is the 1st of the next month.
//
// Values: hourly, daily and monthly means of the parameter's live value (sampled every five
// minutes, as the controller averages it), or, for the accumulated counters, the counter
// reading at the end of the period.

namespace kv::sim {

enum class ArchiveKind : uint8_t { Hourly = 0, Daily = 1, Monthly = 2 };

// What one archive records.
struct ArchiveDef {
    uint8_t addressHigh = 0x80;   // the parameter's controller address (class + index, number)
    uint8_t code = 0;
    bool integer = false;         // counter readings as controller integers; otherwise means
    bool extended = false;        // hourly: also kept for 42 days in the extended ring
    int head = -1;                // a continuation archive: its head archive, and ...
    int level = 0;                // ... its level (1: the 4 days or the month before the head's)
};

struct ReportingSettingsSim {
    int hour = 0;         // 0..23
    int day = 1;          // 1..31
    bool flagA = true;
    bool flagB = true;
};

class Archives {
public:
    explicit Archives(const ModelInfo& model);

    // Adds the archive memory and its cells to `mem`; an archive's parameter takes its name
    // (and so its live value) from `params` where the controller has it.
    void install(ParamMemory& mem, const std::vector<ParamDef>& params);

    int count(ArchiveKind kind) const;
    // nullptr for an archive number the model does not keep.
    const ArchiveDef* def(ArchiveKind kind, int n) const;

    ReportingSettingsSim reporting() const;
    void setReporting(const ReportingSettingsSim& s);

    // The value archive n keeps for a period, whatever slot it sits in: hourly the hour that
    // starts at `label`, daily the day `label`, monthly the month `label` lies in.
    double value(ArchiveKind kind, int n, double label) const;
    // The same as the 4 bytes the controller sends on `face`.
    std::array<uint8_t, 4> record(ArchiveKind kind, int n, double label, Face face) const;
    // The period [from, to) a label stands for under the present reporting settings.
    std::pair<double, double> period(ArchiveKind kind, double label) const;

    // The slot of the extended ring's newest day at controller time `t`.
    int extendedPointer(double t) const;

private:
    struct Entry {
        ArchiveDef def;
        std::function<double(double)> live;
    };
    std::optional<Cell> resolve(uint16_t address) const;
    std::vector<uint8_t> hourlyRecords(int n, int slot, int fromHour, int toHour, const Access& a) const;
    std::vector<uint8_t> extendedRecords(int n, int slot, const Access& a) const;
    std::vector<uint8_t> dailyRecords(int n, int fromDay, int toDay, const Access& a) const;
    std::vector<uint8_t> monthlyRecord(int n, int month, const Access& a) const;
    void put(std::vector<uint8_t>& out, ArchiveKind kind, int n, std::optional<int64_t> label, Face face) const;
    const Entry& entry(ArchiveKind kind, int n) const { return entries_[int(kind)][std::size_t(n)]; }
    double labelValue(ArchiveKind kind, int n, int64_t label) const;
    int64_t monthEndSeconds(int64_t monthIndex) const;
    int64_t newestDay(int64_t nowSec) const;
    int64_t newestMonth(int64_t nowSec) const;

    const ModelInfo& model_;
    std::array<std::vector<Entry>, 3> entries_;
    std::array<uint8_t, 2> reportingBytes_{0x00, 0x01};   // hour 00, day 01 (BCD)
    std::array<uint8_t, 2> flagBytes_{0x00, 0x00};        // both flags set
};

} // namespace kv::sim
