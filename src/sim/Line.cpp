#include "sim/Line.h"

#include <algorithm>
#include <bit>

namespace kv::sim {

LineOptions lineOptionsFor(int channelType, int switchChannel)
{
    LineOptions o;
    o.echo = channelType == 2 || channelType == 7;
    o.channelSwitch = channelType == 7 || channelType == 9;
    o.switchChannel = switchChannel;
    o.ismModem = channelType == 4 || channelType == 5;
    return o;
}

Line::Line(SimClock& clock, std::shared_ptr<LineDevice> device, LineOptions options,
           std::shared_ptr<Faults> faults)
    : clock_(clock), device_(std::move(device)), opt_(options), faults_(std::move(faults))
{
    txBusyUntil_ = rxBusyUntil_ = clock_.nowUs();
}

bool Line::ninthBitOf(uint8_t b, Parity p)
{
    const bool odd = std::popcount(unsigned(b)) % 2 == 1;
    switch (p) {
    case Parity::Odd: return !odd;    // makes the count of ones odd
    case Parity::Even: return odd;    // makes it even
    case Parity::Mark: return true;
    case Parity::Space: return false;
    case Parity::None: break;
    }
    return true;   // without parity the ninth bit time carries the first stop bit
}

int Line::bitsPerByte() const
{
    return 1 + params_.dataBits + (params_.parity == Parity::None ? 0 : 1) + params_.stopBits;
}

int64_t Line::byteTimeUs(int count) const
{
    const int64_t bits = int64_t(count) * bitsPerByte();
    return (bits * 1000000 + params_.baud - 1) / params_.baud;
}

bool Line::gone() { return faults_ && faults_->take(Fault::PortGone); }

bool Line::connected() const
{
    return !opt_.channelSwitch || sw_.selected == opt_.switchChannel;
}

void Line::runUntil(int64_t us)
{
    for (;;) {
        const int64_t ta = tx_.empty() ? kNever : tx_.front().atUs;
        const int64_t td = device_->nextTimerUs();
        if (ta <= td && ta <= us) {
            const WireByte b = tx_.front();
            tx_.pop_front();
            device_->onByte(b, *this);
        } else if (td < ta && td <= us) {
            device_->onTimer(td, *this);
        } else {
            break;
        }
    }
}

void Line::emit(std::span<const uint8_t> bytes, int64_t startUs)
{
    if (!connected())
        return;
    const int devBaud = device_->baud();
    const bool garbled = devBaud != 0 && devBaud != params_.baud;
    const int baud = devBaud != 0 ? devBaud : params_.baud;
    // A reply waits for the one being sent, but a late reply still waiting for its moment
    // does not hold back one that starts earlier.
    const int64_t start = startUs >= rxBurstStart_ ? std::max(startUs, rxBusyUntil_) : startUs;
    rxBurstStart_ = std::max(rxBurstStart_, start);
    const int64_t bits = bitsPerByte();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int64_t at = start + (int64_t(i + 1) * bits * 1000000 + baud - 1) / baud;
        // Bytes sent at another speed arrive as nonsense.
        const uint8_t v = garbled ? uint8_t(bytes[i] * 0x1D + 0x6B) : bytes[i];
        const auto pos = std::upper_bound(rx_.begin(), rx_.end(), at,
                                          [](int64_t t, const RxByte& r) { return t < r.atUs; });
        rx_.insert(pos, RxByte{v, at});
        rxBusyUntil_ = std::max(rxBusyUntil_, at);
    }
}

bool Line::setParams(const LineParams& p)
{
    if (gone())
        return false;
    if (p.baud <= 0 || p.dataBits < 5 || p.dataBits > 8 || p.stopBits < 1 || p.stopBits > 2)
        return false;
    runUntil(clock_.nowUs());
    params_ = p;
    return true;
}

void Line::controlChanged(const ControlLines& before)
{
    if (opt_.channelSwitch) {
        // Data bits are clocked in on rising RTS while DTR is off, the transmit line (break)
        // giving the bit inverted; rising DTR after eight bits latches the channel and puts
        // its number out on CTS, most significant bit first; each release of a break pulse
        // shifts the next bit out. Falling DTR starts a new selection.
        if (!before.rts && lines_.rts && !lines_.dtr) {
            sw_.shiftIn = uint8_t(sw_.shiftIn << 1 | (lines_.brk ? 0 : 1));
            ++sw_.bitsIn;
        }
        if (!before.dtr && lines_.dtr && sw_.bitsIn >= 8) {
            sw_.selected = sw_.shiftIn;
            sw_.out = sw_.shiftIn;
        }
        if (before.dtr && !lines_.dtr) {
            sw_.bitsIn = 0;
            sw_.shiftIn = 0;
        }
        if (before.brk && !lines_.brk)
            sw_.out = uint8_t(sw_.out << 1);
    }
    device_->onControl(lines_, clock_.nowUs());
}

bool Line::setDtr(bool on)
{
    if (gone())
        return false;
    runUntil(clock_.nowUs());
    const ControlLines before = lines_;
    lines_.dtr = on;
    controlChanged(before);
    return true;
}

bool Line::setRts(bool on)
{
    if (gone())
        return false;
    runUntil(clock_.nowUs());
    const ControlLines before = lines_;
    lines_.rts = on;
    controlChanged(before);
    return true;
}

bool Line::setBreak(bool on)
{
    if (gone())
        return false;
    runUntil(clock_.nowUs());
    const ControlLines before = lines_;
    lines_.brk = on;
    controlChanged(before);
    return true;
}

ModemStatus Line::modemStatus()
{
    if (gone())
        return {};
    const int64_t now = clock_.nowUs();
    runUntil(now);
    ModemStatus s;
    if (opt_.channelSwitch)
        s.cts = opt_.switchAnswers && (sw_.out & 0x80);
    else if (opt_.ismModem)
        s.cts = lines_.rts && params_.baud > 300;
    else
        s.cts = true;
    s.dsr = opt_.modemPower;
    s.rlsd = device_->carrier(now);
    return s;
}

void Line::setTimeouts(int readTotalMs, int writePerByteMs)
{
    readTotalMs_ = std::max(0, readTotalMs);
    writePerByteMs_ = std::max(0, writePerByteMs);
}

int Line::read(uint8_t* buf, int n)
{
    if (gone())
        return -1;
    if (n <= 0)
        return 0;
    const int64_t now = clock_.nowUs();
    const int64_t deadline = now + int64_t(readTotalMs_) * 1000;
    runUntil(now);
    int64_t tn = kNever;
    for (;;) {
        tn = rx_.size() >= std::size_t(n) ? std::max(now, rx_[std::size_t(n - 1)].atUs) : kNever;
        const int64_t td = device_->nextTimerUs();
        if (td <= std::min(tn, deadline)) {
            runUntil(td);
            continue;
        }
        break;
    }
    const int64_t until = tn <= deadline ? tn : deadline;
    int got = 0;
    while (got < n && !rx_.empty() && rx_.front().atUs <= until) {
        buf[got++] = rx_.front().value;
        rx_.pop_front();
    }
    clock_.waitUntilUs(until);
    return got;
}

int Line::write(const uint8_t* buf, int n)
{
    if (gone())
        return -1;
    if (n <= 0)
        return 0;
    const int64_t now = clock_.nowUs();
    runUntil(now);
    if (faults_ && faults_->take(Fault::WriteFailure))
        return -1;
    if (params_.ctsFlow && !modemStatus().cts) {
        // Held back by flow control: nothing leaves within the write time-out.
        clock_.waitUntilUs(now + int64_t(writePerByteMs_) * n * 1000);
        return 0;
    }
    const int64_t start = std::max(now, txBusyUntil_);
    const bool toDevice = connected();
    int64_t last = start;
    for (int i = 0; i < n; ++i) {
        last = start + byteTimeUs(i + 1);
        const WireByte b{buf[i], ninthBitOf(buf[i], params_.parity), params_.baud, last};
        sentLog_.push_back(b);
        if (toDevice)
            tx_.push_back(b);
        if (opt_.echo) {
            const auto pos = std::upper_bound(rx_.begin(), rx_.end(), last,
                                              [](int64_t t, const RxByte& r) { return t < r.atUs; });
            rx_.insert(pos, RxByte{buf[i], last});
        }
    }
    txBusyUntil_ = last;
    runUntil(last);
    clock_.waitUntilUs(last);
    return n;
}

void Line::discardInput()
{
    if (gone())
        return;
    const int64_t now = clock_.nowUs();
    runUntil(now);
    while (!rx_.empty() && rx_.front().atUs <= now)
        rx_.pop_front();
}

} // namespace kv::sim
