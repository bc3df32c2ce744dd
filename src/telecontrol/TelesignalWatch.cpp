#include "telecontrol/TelesignalWatch.h"

#include "protocol/ExchangeResult.h"
#include "protocol/LineControl.h"

namespace kv {

namespace {

struct Series {
    uint8_t group;          // buffer byte = group × 16 + buffer number
    uint8_t addressLow;
    const char* failureText;
};

constexpr Series kSeries[] = {
    {0, 0x47, kInputBufferText},
    {1, 0x49, kOutputBufferText},
    {2, 0x4A, kIndicationBufferText},
};

// Slow lines and adapters must not be flooded with back-to-back reads.
constexpr int kPauseBetweenReadsMs = 30;
// Polls of long periods show the hourglass; on short periods it would only flicker.
constexpr int kBusyFromPeriod = 5;

} // namespace

TelesignalWatch::TelesignalWatch(Commands& commands, Clock& clock, const BitSignalTable& table)
    : commands_(commands), clock_(clock), signals_(table)
{
    states_.fill(kSignalNotEvaluated);
}

int TelesignalWatch::selectionBit(uint8_t bufferByte)
{
    const int group = bufferByte >> 4, module = bufferByte & 0x0F;
    if (group > 2 || module > 3)
        return -1;
    return group * 4 + module;
}

void TelesignalWatch::start(int timTc)
{
    period_ = timTc < 0 ? 0 : timTc;
    states_.fill(kSignalNotEvaluated);
    signalsRead_ = false;
    lamp_ = kLampOff;
    selection_ = 0;
    shown_ = signals_.count() > 0;
    countdown_ = shown_ ? 1 : 0;
    for (int i = 0; i < signals_.count(); ++i)
        if (const int bit = selectionBit(signals_.at(i).kind); bit >= 0)
            selection_ |= 1u << bit;
}

void TelesignalWatch::tickStep(int units, TelesignalHost& host)
{
    // Without descriptions there is nothing to read; the line stays quiet.
    if (period_ == 0 || !shown_)
        return;
    countdown_ -= units;
    if (countdown_ <= 0 && host.pollAllowed())
        pollSignals(host);
}

bool TelesignalWatch::evaluate(const std::array<uint8_t, 8>& buffer, uint8_t key)
{
    bool quiet = true;
    for (int i = 0; i < signals_.count(); ++i) {
        const BitSignal& s = signals_.at(i);
        // A bit beyond the buffer (a damaged file) cannot be judged and stays unevaluated.
        if (s.kind != key || s.side != 0 || s.bit > 63)
            continue;
        const int value = (buffer[std::size_t(s.bit / 8)] >> (s.bit % 8)) & 1;
        if (value == s.normal) {
            states_[std::size_t(i)] = kSignalNormal;
        } else {
            states_[std::size_t(i)] = kSignalAlarm;
            quiet = false;
        }
    }
    return quiet;
}

void TelesignalWatch::pollSignals(TelesignalHost& host)
{
    host.setPollAllowed(false);
    host.debugMark("F+ TCId1");
    const auto previous = states_;
    const bool busy = period_ >= kBusyFromPeriod;
    if (busy)
        host.setBusy(true);
    const int channelType = host.channelType();
    if (SerialPort* port = host.port(); port && channelType == 7)
        selectSwitchChannel(*port, clock_, host.switchChannel());

    bool quiet = true;
    ExchangeResult error = xr::Ok;
    for (const Series& series : kSeries) {
        if (error != xr::Ok)
            break;   // the last read of the previous series failed: the line is in trouble
        for (int n = 0; n < 4; ++n) {
            if (!(selection_ & (1u << (series.group * 4 + n))))
                continue;
            if (channelType != 0)
                clock_.sleepMs(kPauseBetweenReadsMs);
            std::array<uint8_t, 8> buffer{};
            const uint16_t address = uint16_t(((0x40 + n) << 8) | series.addressLow);
            // Asked for each read: the window may have let the port be replaced meanwhile.
            SerialPort* port = host.port();
            error = port ? commands_.readAddress(*port, channelType, address, buffer) : xr::NoAnswer;
            if (error > 0)
                host.showStatus(std::string(series.failureText) + exchangeMessage(error));
            else
                host.renewRedialDeadline();
            host.processEvents();
            // Only bytes that came from this buffer are judged; after a failed read the
            // descriptions keep their states.
            if (error == xr::Ok && !evaluate(buffer, uint8_t(series.group * 16 + n)))
                quiet = false;
        }
    }

    if (busy)
        host.setBusy(false);
    countdown_ = period_;
    signalsRead_ = true;

    if (!(states_ == previous && quiet && lamp_ != kLampOff)) {
        int lamp = kLampNormal;
        for (int i = 0; i < signals_.count(); ++i)
            if (states_[std::size_t(i)] != kSignalNormal)
                lamp = kLampAlarm;
        lamp_ = lamp;
        if (lamp == kLampAlarm && host.soundOn())
            host.playSound(3);
    }
    host.drawSignalLamp(lamp_);
    host.debugMark("T TCId1");
    host.setPollAllowed(true);
}

} // namespace kv
