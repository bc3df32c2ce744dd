// Line time of one group read of 64 four-byte values at 9600 baud, per frame protocol, in
// virtual time, beside the least the wire allows: the bytes both ways at 11 bits each (start,
// 8 data, 2 stop) plus the waits the protocol itself prescribes. The controller here answers
// the instant a request has left the wire, so the difference is what the engine adds.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "protocol/Checksums.h"
#include "protocol/Exchange.h"
#include "protocol/SerialPort.h"
#include "sim/VirtualClock.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kBaud = 9600;
constexpr int kSpeedIndex = 5;
constexpr int kBitsPerByte = 11;
constexpr int kNetwork = 5;
constexpr double kByteUs = kBitsPerByte * 1e6 / kBaud;

// A line at kBaud: what is written occupies the wire for its byte time; replies come back
// byte by byte at the same rate. Times are kept in microseconds; the clock moves in whole ms.
class WireLine final : public kv::SerialPort {
public:
    explicit WireLine(kv::sim::VirtualClock& clock) : clock_(clock) {}

    struct Turn {
        std::size_t requestBytes;
        Bytes reply;
    };
    std::deque<Turn> turns;
    long bytesOut = 0;
    long bytesIn = 0;

    bool setParams(const kv::LineParams& p) override { params_ = p; return true; }
    kv::LineParams params() const override { return params_; }
    bool setDtr(bool) override { return true; }
    bool setRts(bool) override { return true; }
    bool setBreak(bool) override { return true; }
    kv::ModemStatus modemStatus() override { return {true, true, true}; }
    void setTimeouts(int readTotalMs, int) override { readTimeoutMs_ = readTotalMs; }

    int write(const uint8_t*, int n) override
    {
        double t = std::max(nowUs(), wireFreeUs_);
        t += n * kByteUs;
        wireFreeUs_ = t;
        advanceToUs(t);
        bytesOut += n;
        received_ += std::size_t(n);
        while (!turns.empty() && received_ >= turns.front().requestBytes) {
            received_ -= turns.front().requestBytes;
            double at = t;
            for (uint8_t b : turns.front().reply) {
                at += kByteUs;
                rx_.push_back({b, at});
            }
            turns.pop_front();
        }
        return n;
    }

    int read(uint8_t* buf, int n) override
    {
        const double deadline = nowUs() + readTimeoutMs_ * 1000.0;
        int got = 0;
        while (got < n) {
            if (rx_.empty() || rx_.front().atUs > deadline) {
                advanceToUs(deadline);
                return got;
            }
            advanceToUs(rx_.front().atUs);
            buf[got++] = rx_.front().byte;
            rx_.pop_front();
            ++bytesIn;
        }
        return got;
    }

    void discardInput() override
    {
        while (!rx_.empty() && rx_.front().atUs <= nowUs())
            rx_.pop_front();
    }

private:
    struct Pending {
        uint8_t byte;
        double atUs;
    };
    double nowUs() const { return double(clock_.nowMs() - originMs_) * 1000.0; }
    void advanceToUs(double us)
    {
        const auto targetMs = originMs_ + int64_t(std::ceil(us / 1000.0 - 1e-9));
        clock_.advanceMs(targetMs - clock_.nowMs());
    }

    kv::sim::VirtualClock& clock_;
    int64_t originMs_ = clock_.nowMs();
    kv::LineParams params_;
    int readTimeoutMs_ = 1000;
    double wireFreeUs_ = 0;
    std::size_t received_ = 0;
    std::deque<Pending> rx_;
};

Bytes values(std::size_t n, uint8_t seed)
{
    Bytes v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

struct Row {
    std::string name;
    int exchanges;
    long bytes;
    double waitsMs;
    int64_t measuredMs;
    bool ok;
};

// The group read body: function 01, address of group 0's reply.
const Bytes kGroupRead{0x01, 0x40, 0x51};

Row traditional()
{
    kv::sim::VirtualClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange ex(clock, pump, trace);
    ex.state().speedIndex = kSpeedIndex;
    WireLine line(clock);
    const Bytes data = values(256, 1);
    Bytes reply{0x06};
    reply.insert(reply.end(), data.begin(), data.end());
    reply.push_back(kv::complementSum8(data));
    line.turns.push_back({1, {0x04}});
    line.turns.push_back({kGroupRead.size() + 2, reply});
    Bytes buf(256);
    const int64_t t0 = clock.nowMs();
    const auto r = ex.transact(line, kGroupRead, buf, 0, 256);
    // ENQ and the frame each follow a 2 ms turnaround.
    return {"traditional", 1, line.bytesOut + line.bytesIn, 2 * 2.0, clock.nowMs() - t0,
            r == 0 && buf == data};
}

Row ft12(int crcMode)
{
    kv::sim::VirtualClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange ex(clock, pump, trace);
    ex.state().speedIndex = kSpeedIndex;
    ex.state().protocol = kv::prot::Ft12;
    ex.state().crcMode = uint8_t(crcMode);
    ex.state().networkNumber = kNetwork;
    WireLine line(clock);
    // One length byte cannot describe 256 data bytes: the group comes in two halves.
    const std::size_t request = crcMode == 1 ? 11 : 9;   // short frame, CRC bytes in mode 1
    bool ok = true;
    const int64_t t0 = clock.nowMs();
    for (int half = 0; half < 2; ++half) {
        const Bytes data = values(128, uint8_t(half * 128 + 1));
        Bytes user{0x00, kNetwork};
        user.insert(user.end(), data.begin(), data.end());
        if (crcMode == 1) {
            const uint16_t crc = kv::crc16(user);
            user.push_back(uint8_t(crc));
            user.push_back(uint8_t(crc >> 8));
        }
        Bytes reply{0x68, uint8_t(user.size()), uint8_t(user.size()), 0x68};
        reply.insert(reply.end(), user.begin(), user.end());
        if (crcMode == 2) {
            const uint16_t crc = kv::crc16(user);
            reply.push_back(uint8_t(crc));
            reply.push_back(uint8_t(crc >> 8));
        } else {
            reply.push_back(kv::sum8(user));
            reply.push_back(0x16);
        }
        line.turns.push_back({request, reply});
        Bytes buf(128);
        ok = ok && ex.transact(line, kGroupRead, buf, 0, 128) == 0 && buf == data;
    }
    const char* names[] = {"FT1.2, sum", "FT1.2, CRC in data", "FT1.2, CRC trailer"};
    return {names[crcMode], 2, line.bytesOut + line.bytesIn, 2 * 2.0, clock.nowMs() - t0, ok};
}

Row ft11()
{
    kv::sim::VirtualClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange ex(clock, pump, trace);
    ex.state().speedIndex = kSpeedIndex;
    ex.state().protocol = kv::prot::Ft11;
    ex.state().networkNumber = kNetwork;
    WireLine line(clock);
    bool ok = true;
    const int64_t t0 = clock.nowMs();
    for (int half = 0; half < 2; ++half) {
        const Bytes data = values(128, uint8_t(half * 128 + 1));
        Bytes reply{uint8_t(data.size() + 2), 0x00, kNetwork};
        reply.insert(reply.end(), data.begin(), data.end());
        line.turns.push_back({kGroupRead.size() + 3, reply});
        Bytes buf(128);
        ok = ok && ex.transact(line, kGroupRead, buf, 0, 128) == 0 && buf == data;
    }
    // 2 ms turnaround and the 100 ms rest after each exchange.
    return {"FT1.1", 2, line.bytesOut + line.bytesIn, 2 * 102.0, clock.nowMs() - t0, ok};
}

} // namespace

int main()
{
    std::printf("Group read of 64 four-byte values (256 data bytes) at %d baud on an RS-232 line,\n"
                "%d bits a byte. FT frames carry at most 253 data bytes, so they read two halves.\n\n",
                kBaud, kBitsPerByte);
    std::printf("%-20s %9s %6s %9s %9s %11s %11s %9s\n", "protocol", "exchanges", "bytes",
                "wire ms", "waits ms", "minimum ms", "measured ms", "overhead");
    const Row rows[] = {traditional(), ft12(0), ft12(1), ft12(2), ft11()};
    bool allOk = true;
    for (const Row& r : rows) {
        const double wireMs = r.bytes * kByteUs / 1000.0;
        const double minimum = wireMs + r.waitsMs;
        std::printf("%-20s %9d %6ld %9.1f %9.1f %11.1f %11lld %8.1f%%%s\n", r.name.c_str(),
                    r.exchanges, r.bytes, wireMs, r.waitsMs, minimum,
                    static_cast<long long>(r.measuredMs), 100.0 * (r.measuredMs - minimum) / minimum,
                    r.ok ? "" : "  (exchange failed)");
        allOk = allOk && r.ok;
    }
    return allOk ? 0 : 1;
}
