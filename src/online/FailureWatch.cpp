#include "online/FailureWatch.h"

#include <algorithm>

namespace kv {

namespace {
constexpr uint8_t kFailureStatusMask = 0x80;
constexpr uint8_t kFailureStatusExpected = 1;
constexpr int kLampNormalState = 1;
constexpr int kLampAlarmState = 2;
bool isCan(int channelType) { return channelType == 11 || channelType == 12; }
} // namespace

void FailureWatch::start(int timotk)
{
    period_ = std::max(0, timotk);
    countdown_ = period_ != 0 ? 1 : 0;
    blockPage_ = sensorPage_ = kNoFailurePage;
    blockLamp_ = sensorLamp_ = 0;
    snapshot_.fill(0);
}

bool FailureWatch::countDown(int units)
{
    if (period_ == 0)
        return false;
    countdown_ -= units;
    return countdown_ <= 0;
}

ExchangeResult FailureWatch::read(Commands& commands, SerialPort& port, int channelType, Record& record)
{
    // Only whether the controller answers matters here; its status bits are not used.
    const ExchangeResult status = commands.readStatus(port, channelType, kFailureStatusMask, kFailureStatusExpected);
    if (status > 0)
        return status;
    Record scratch{};
    ExchangeResult r;
    if (isCan(channelType))
        r = commands.readAddress(port, channelType, kFailureRecordAddress, scratch);
    else
        r = commands.readRaw(port, channelType, ParamCode{0x40, 0x32, 0x00}, scratch);
    if (r == 0)
        record = scratch;
    return r;
}

bool FailureWatch::evaluate(std::span<const uint8_t, kFailureRecordSize> record)
{
    const uint8_t* block = record.data() + kBlockFailureFirst;
    const uint8_t* sensor = record.data() + kSensorFailureFirst;
    // The first read since activation only sets the snapshot: failures already present are
    // shown but do not sound.
    if (blockLamp_ == 0 && sensorLamp_ == 0) {
        std::copy(block, block + 8, snapshot_.begin());
        std::copy(sensor, sensor + 8, snapshot_.begin() + 8);
    }
    int blockState = kLampNormalState, sensorState = kLampNormalState;
    bool changed = false;
    // From the last byte down, so the page ends as that of the lowest failing byte: page 1
    // (pipelines) when only bytes 62..63 fail, else page 0.
    for (int i = 7; i >= 0; --i) {
        const uint8_t b = block[i];
        if (b != snapshot_[std::size_t(i)])
            changed = true;
        if (b != 0) {
            blockState = kLampAlarmState;
            blockPage_ = i >= 6 ? 1 : 0;
        }
    }
    for (int i = 0; i < 8; ++i) {
        const uint8_t b = sensor[i];
        if (b != snapshot_[std::size_t(8 + i)])
            changed = true;
        if (b != 0) {
            sensorState = kLampAlarmState;
            sensorPage_ = kSensorFailurePage;
        }
    }
    blockLamp_ = blockState;
    sensorLamp_ = sensorState;
    std::copy(block, block + 8, snapshot_.begin());
    std::copy(sensor, sensor + 8, snapshot_.begin() + 8);
    return changed && (blockState == kLampAlarmState || sensorState == kLampAlarmState);
}

int FailureWatch::menuPage()
{
    if (blockPage_ != kNoFailurePage)
        lastMenuPage_ = blockPage_;
    if (sensorPage_ != kNoFailurePage)
        lastMenuPage_ = sensorPage_;
    return lastMenuPage_;
}

} // namespace kv
