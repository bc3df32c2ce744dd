#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "protocol/Commands.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The failure watch of online work: every `Timotk` seconds the controller's current failure
// record is read, and its current block-failure bytes (record bytes 56..63) and sensor-failure
// bytes (64..71) light the lamps "Отказы блока" and "Отказы датчиков". The watch also
// remembers which failure page the failure window should open at from each lamp.
//
// The watch only decides; the online session drives it (poll-allowed flag, lamp drawing,
// sound, debug marks).
//
// Periods are counted in full integers: `Timotk` is one byte in the configuration, and every
// period up to 255 s is kept as given (an 8-bit signed countdown would poll on every tick
// once the period passed 127 s).

namespace kv {

inline constexpr uint16_t kFailureRecordAddress = 0x4032;
inline constexpr std::size_t kFailureRecordSize = 128;
inline constexpr std::size_t kBlockFailureFirst = 56;    // current block-failure bytes 56..63
inline constexpr std::size_t kSensorFailureFirst = 64;   // current sensor-failure bytes 64..71
inline constexpr std::size_t kFailureSnapshotSize = 16;

// Failure pages of the failure window: 0 block failures, 1 pipeline failures, 2 sensor failures.
inline constexpr int kNoFailurePage = -1;
inline constexpr int kSensorFailurePage = 2;

class FailureWatch {
public:
    using Record = std::array<uint8_t, kFailureRecordSize>;
    using Snapshot = std::array<uint8_t, kFailureSnapshotSize>;

    // Activation of the online view: the first poll comes on the first tick when `timotk` is
    // not 0; pages, snapshot and lamps begin afresh.
    void start(int timotk);
    // Whether the watch runs (the two lamps are shown only then).
    bool enabled() const { return period_ != 0; }
    int period() const { return period_; }
    int countdown() const { return countdown_; }

    // Counts `units` down; true when a poll is due (the countdown reached 0 or below).
    bool countDown(int units);
    // A poll starts: the countdown is set to the period again, so a failed read is tried one
    // period later.
    void pollStarted() { countdown_ = period_; }

    // The reads of one poll: the status (which only has to be answered) and the failure record,
    // by address (the CAN read of 128 bytes on the CAN-BUS types, a plain parameter read
    // otherwise). The first failing exchange's code, or 0 with `record` filled.
    static ExchangeResult read(Commands& commands, SerialPort& port, int channelType, Record& record);

    // Evaluates a record that was read: lamp states, pages, snapshot. True when the alarm
    // sound is due: some failure is present and some failure byte changed since the last read
    // (never on the first read since activation).
    bool evaluate(std::span<const uint8_t, kFailureRecordSize> record);

    int blockLamp() const { return blockLamp_; }
    int sensorLamp() const { return sensorLamp_; }
    int blockPage() const { return blockPage_; }
    int sensorPage() const { return sensorPage_; }
    const Snapshot& snapshot() const { return snapshot_; }

    // The page "Страница отказов" opens: the sensor page when one was seen, else the block
    // page when one was seen, else the page chosen last time (-1 before any).
    int menuPage();

private:
    int period_ = 0;
    int countdown_ = 0;
    int blockPage_ = kNoFailurePage;
    int sensorPage_ = kNoFailurePage;
    int lastMenuPage_ = kNoFailurePage;
    int blockLamp_ = 0;
    int sensorLamp_ = 0;
    Snapshot snapshot_{};
};

} // namespace kv
