#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/CanBus.h"
#include "protocol/Commands.h"
#include "protocol/ControllerReal.h"
#include "protocol/Exchange.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The controller clock and its archives. A requested period (start and end date-times, days
// since 1899-12-30) becomes the sequence of reads that fetch exactly the values the controller
// still holds for it, oldest first, with the time stamp of the first value:
//
//   hourly     four day slots (slot 3 = today) per archive 0..31;
//   extended   a 42-day ring of hourly days with a pointer to its newest day (4 days back);
//   daily      a ring of 31 slots by day of month (slots after today still hold last month);
//   monthly    twelve slots by month.
//
// Controller time is an in/out value of every archive read: below 10.0 it is "not read yet",
// and the read fetches the clock first and hands the value back, so that one report reads the
// clock once. The reporting settings read for daily and monthly archives are kept with it.
//
// Results besides the exchange's own codes: 19 impossible serial clock, 21 archive number out
// of range, 22 nothing of the period is held, 23 / 24 the controller is just passing the hour /
// the day (read again in 30 seconds), 44 impossible CAN-BUS clock. On an exchange error the
// values read so far stay in the result.

namespace kv {

// The values of one archive read, 4 bytes each, oldest first.
struct ArchiveRead {
    std::vector<ValueBytes> records;
    double firstTime = 0.0;   // date-time of records[0]
    void clear() { records.clear(); firstTime = 0.0; }
};

// The values as reals (`ControllerReal` on the serial types, IEEE on CAN-BUS); the invalid-value
// marker stays kInvalidValue.
std::vector<double> archiveReals(const ArchiveRead& read, int channelType, TraceLog* trace = nullptr);
// The values as controller integers.
std::vector<uint32_t> archiveIntegers(const ArchiveRead& read, TraceLog* trace = nullptr);

struct ReportingSettings {
    int hour = 0;         // reporting hour 0..23
    int day = 1;          // reporting day of the month
    bool flagA = false;   // high nibble of the first flag byte is 0
    bool flagB = false;   // low nibble of the first flag byte is 0
};

// Clock modes of the serial clock read.
inline constexpr int kClockAsRead = 25;      // hour and minute as read
inline constexpr int kClockLastHour = 24;    // the last hour that has fully ended, minute 0
// 0..23: the reporting-hour mode: hour with minute 0, the day before when the clock shows
// exactly that hour.

enum class CanClockForm { Frames, Gateway };

class ArchiveCommands {
public:
    ArchiveCommands(Exchange& engine, CanLink& can, Commands& commands);

    // Serial types: year (0x4017, binary b0 × 100 + b1), day and month (0x4016), hour and
    // minute (0x4015), shaped by `mode` (a mode outside 0..25 counts as 25); 19 for a date or
    // time that does not exist. CAN-BUS types: readCanClock as frames, with the time.
    ExchangeResult readClock(SerialPort& port, int channelType, int mode, double& dateTime);

    // Control value 3, then BCD day, month, year at 0xF017 and hour, minute, second at 0xF018
    // (when `withTime`), as frames or in the gateway forms; 44 for values out of range.
    ExchangeResult readCanClock(SerialPort& port, int channelType, CanClockForm form, bool withTime,
                                double& dateTime);

    // Reporting hour and day (0x4002, BCD) and the flags (0x4302); the bytes of each reply come
    // swapped on CAN-BUS. Also kept for the following daily and monthly reads.
    ExchangeResult readReportingSettings(SerialPort& port, int channelType, ReportingSettings& settings);
    const ReportingSettings& reportingSettings() const { return settings_; }

    ExchangeResult readHourly(SerialPort& port, int channelType, int archive, double start, double end,
                              double& controllerTime, ArchiveRead& out);
    // Several 4-day archives joined: archives[f] holds the 4 days that end 4 × f days before
    // the controller's day; the oldest block comes first.
    ExchangeResult readHourlyChain(SerialPort& port, int channelType, std::span<const int> archives,
                                   double start, double end, double& controllerTime, ArchiveRead& out);
    // The extended 42-day ring followed by the 4-day archive.
    ExchangeResult readHourlyExtended(SerialPort& port, int channelType, int archive, double start,
                                      double end, double& controllerTime, ArchiveRead& out);

    ExchangeResult readDaily(SerialPort& port, int channelType, int archive, double start, double end,
                             double& controllerTime, ArchiveRead& out);
    // Two archives: `current` holds this month's days, `previous` the month before.
    ExchangeResult readDailyPair(SerialPort& port, int channelType, int current, int previous,
                                 double start, double end, double& controllerTime, ArchiveRead& out);

    ExchangeResult readMonthly(SerialPort& port, int channelType, int archive, double start, double end,
                               double& controllerTime, ArchiveRead& out);

private:
    ExchangeResult read(SerialPort& port, int channelType, uint8_t high, uint8_t low, std::span<uint8_t> out);
    ExchangeResult ensureClock(SerialPort& port, int channelType, double& controllerTime);
    ExchangeResult hourlyBlock(SerialPort& port, int channelType, int archive, int block, int64_t& startHour,
                               int64_t endHour, double controllerTime, ArchiveRead& out);
    ExchangeResult prepareDayMonth(SerialPort& port, int channelType, bool monthly, double& controllerTime);
    ExchangeResult daily(SerialPort& port, int channelType, int first, int second, double start, double end,
                         double& controllerTime, ArchiveRead& out);

    Exchange& engine_;
    CanLink& can_;
    Commands& commands_;
    ReportingSettings settings_;
    bool settingsRead_ = false;
};

} // namespace kv
