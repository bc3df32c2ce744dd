// Arbitrary line bytes against the receive path of each frame protocol. The first four bytes
// choose the set-up (protocol, CRC mode, channel type, attempts, reply length and capacity,
// line faults); the rest is what the line delivers, one byte per millisecond of virtual time.
// Every exchange must end, give a code of 0..50, and never write past the reply buffer.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "protocol/Exchange.h"
#include "protocol/SerialPort.h"
#include "sim/VirtualClock.h"

namespace {

class PlaybackPort final : public kv::SerialPort {
public:
    PlaybackPort(kv::sim::VirtualClock& clock, const uint8_t* data, size_t size)
        : clock_(clock), data_(data), size_(size), nextAtMs_(clock.nowMs())
    {
    }

    bool dsr = true;
    bool writesFail = false;
    int goneAfterWrites = -1;

    bool setParams(const kv::LineParams& p) override { params_ = p; return !gone_; }
    kv::LineParams params() const override { return params_; }
    bool setDtr(bool) override { return !gone_; }
    bool setRts(bool) override { return !gone_; }
    bool setBreak(bool) override { return !gone_; }
    kv::ModemStatus modemStatus() override { return {true, dsr, true}; }
    void setTimeouts(int readTotalMs, int) override { readTimeoutMs_ = readTotalMs; }

    int read(uint8_t* buf, int n) override
    {
        if (gone_)
            return -1;
        const int64_t deadline = clock_.nowMs() + (readTimeoutMs_ > 0 ? readTimeoutMs_ : 0);
        int got = 0;
        while (got < n) {
            if (pos_ >= size_ || nextAtMs_ > deadline) {
                clock_.advanceMs(deadline - clock_.nowMs());
                return got;
            }
            clock_.advanceMs(nextAtMs_ - clock_.nowMs());
            buf[got++] = data_[pos_++];
            nextAtMs_ = clock_.nowMs() + 1;
        }
        return got;
    }

    int write(const uint8_t*, int n) override
    {
        if (gone_ || writesFail)
            return -1;
        if (goneAfterWrites >= 0 && ++writes_ >= goneAfterWrites)
            gone_ = true;
        return n;
    }

    void discardInput() override {}

private:
    kv::sim::VirtualClock& clock_;
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    int64_t nextAtMs_;
    kv::LineParams params_;
    int readTimeoutMs_ = 0;
    int writes_ = 0;
    bool gone_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    static constexpr std::array<int, 8> channelTypes{0, 2, 4, 5, 6, 7, 8, 12};
    const uint8_t setup = data[0];
    const int replyLen = data[1];
    const size_t capacity = data[2];
    const uint8_t faults = data[3];

    kv::sim::VirtualClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange exchange(clock, pump, trace);
    auto& st = exchange.state();
    st.protocol = uint8_t(setup & 0x03);
    st.crcMode = uint8_t((setup >> 2) & 0x03);
    st.attemptCount = (setup & 0x80) ? 3 : 1;
    st.networkNumber = 5;
    st.speedIndex = (faults >> 4) % 11;
    st.frameCounter = uint8_t(faults >> 5);
    const int channelType = channelTypes[(setup >> 4) & 0x07];

    PlaybackPort port(clock, data + 4, size - 4);
    port.dsr = (faults & 0x01) == 0;
    port.writesFail = (faults & 0x02) != 0;
    if (faults & 0x04)
        port.goneAfterWrites = 1 + (faults >> 6);

    // The reply buffer sits between guard bytes that must survive.
    constexpr size_t kGuard = 16;
    std::vector<uint8_t> storage(capacity + 2 * kGuard, 0xA5);
    const std::span<uint8_t> reply(storage.data() + kGuard, capacity);
    static constexpr std::array<uint8_t, 3> shortBody{0x01, 0x40, 0x15};
    static constexpr std::array<uint8_t, 5> longBody{0x05, 0x40, 0x07, 0xBF, 0xEB};
    const std::span<const uint8_t> body = (faults & 0x08) ? std::span<const uint8_t>(longBody)
                                                          : std::span<const uint8_t>(shortBody);

    const int64_t start = clock.nowMs();
    const kv::ExchangeResult r = exchange.transact(port, body, reply, channelType, replyLen);
    if (r < 0 || r >= kv::kExchangeResultCount)
        std::abort();
    for (size_t i = 0; i < kGuard; ++i)
        if (storage[i] != 0xA5 || storage[kGuard + capacity + i] != 0xA5)
            std::abort();
    // Three attempts of the slowest waits stay far below an hour of line time.
    if (clock.nowMs() - start > 3600 * 1000)
        std::abort();

    if (st.protocol == kv::prot::Ft12 || st.protocol == kv::prot::Ft12Counted) {
        PlaybackPort again(clock, data + 4, size - 4);
        const kv::ExchangeResult p = exchange.probeFrameCounter(again, channelType);
        if (p < 0 || p >= kv::kExchangeResultCount)
            std::abort();
    }
    return 0;
}
