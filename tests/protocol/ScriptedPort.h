#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "protocol/Exchange.h"
#include "protocol/SerialPort.h"
#include "sim/VirtualClock.h"

// A serial port for engine tests: it plays a script of turns (bytes the engine must send, bytes
// that come back after a delay), records everything done to it, and moves a virtual clock the
// way a real port's blocking reads would: a read that gets nothing takes its whole time-out.
// Writes take no time, so the time an exchange takes is its waits alone.
// Beside it: a trace that keeps its lines, a pump that counts, and the fixture that wires an
// engine to them on virtual time.

namespace kv::test {

using Bytes = std::vector<uint8_t>;

struct Turn {
    Bytes expect;        // what the engine must send for this turn to answer
    Bytes reply;         // what comes back (empty: silence)
    int delayMs = 5;     // before the first reply byte
    int gapMs = 1;       // between reply bytes
};

struct LineEvent {
    enum Kind { Dtr, Rts, Break };
    Kind kind;
    bool on;
    int64_t atMs;
};

struct WriteRecord {
    Bytes bytes;
    LineParams params;
    int64_t atMs;
};

class ScriptedPort final : public SerialPort {
public:
    explicit ScriptedPort(sim::VirtualClock& clock) : clock_(clock) {}

    // ---- script ----
    void addTurn(Turn t) { turns_.push_back(std::move(t)); }
    void addTurn(Bytes expect, Bytes reply, int delayMs = 5, int gapMs = 1)
    {
        turns_.push_back(Turn{std::move(expect), std::move(reply), delayMs, gapMs});
    }
    // Bytes that arrive on their own, `delayMs` from now.
    void deliver(const Bytes& bytes, int delayMs = 0, int gapMs = 0)
    {
        int64_t at = clock_.nowMs() + delayMs;
        for (uint8_t b : bytes) {
            rx_.push_back({b, at});
            at += gapMs;
        }
        std::stable_sort(rx_.begin(), rx_.end(),
                         [](const Pending& a, const Pending& b) { return a.atMs < b.atMs; });
    }

    bool echo = false;                       // two-wire line: every byte sent comes back at once
    ModemStatus status{true, true, true};    // used unless statusFn is set
    std::function<ModemStatus()> statusFn;
    std::set<int> failingWrites;             // 0-based indexes of write() calls that fail
    int goneAfterWrites = -1;                // after this many writes the device vanishes
    std::function<void(ScriptedPort&, const Bytes&)> onWrite;       // free-form responder
    std::function<void(ScriptedPort&, const LineEvent&)> onControl; // DTR/RTS/break watcher

    // ---- record ----
    Bytes sent;                       // every byte written, in order
    std::vector<WriteRecord> writes;
    std::vector<LineEvent> events;
    std::vector<LineParams> paramHistory;
    std::vector<std::string> mismatches;  // sent bytes that did not match the script
    int discards = 0;
    int reads = 0;
    bool dtr = false, rts = false, brk = false;
    int readTimeoutMs = 0, writePerByteMs = 0;

    bool gone() const { return gone_; }
    std::size_t turnsLeft() const { return turns_.size(); }
    // Bytes already arrived or still on their way.
    std::size_t pendingBytes() const { return rx_.size(); }

    // ---- SerialPort ----
    bool setParams(const LineParams& p) override
    {
        if (gone_)
            return false;
        params_ = p;
        paramHistory.push_back(p);
        return true;
    }
    LineParams params() const override { return params_; }
    bool setDtr(bool on) override { return control(LineEvent::Dtr, on, dtr); }
    bool setRts(bool on) override { return control(LineEvent::Rts, on, rts); }
    bool setBreak(bool on) override { return control(LineEvent::Break, on, brk); }
    ModemStatus modemStatus() override { return statusFn ? statusFn() : status; }
    void setTimeouts(int readTotalMs, int writeMsPerByte) override
    {
        readTimeoutMs = readTotalMs;
        writePerByteMs = writeMsPerByte;
    }

    int read(uint8_t* buf, int n) override
    {
        ++reads;
        if (gone_)
            return -1;
        const int64_t deadline = clock_.nowMs() + std::max(0, readTimeoutMs);
        int got = 0;
        for (;;) {
            while (got < n && !rx_.empty() && rx_.front().atMs <= clock_.nowMs()) {
                buf[got++] = rx_.front().byte;
                rx_.pop_front();
            }
            if (got == n)
                return got;
            if (!rx_.empty() && rx_.front().atMs <= deadline) {
                clock_.advanceMs(rx_.front().atMs - clock_.nowMs());
                continue;
            }
            clock_.advanceMs(deadline - clock_.nowMs());
            return got;
        }
    }

    int write(const uint8_t* buf, int n) override
    {
        const int index = writeCount_++;
        if (gone_)
            return -1;
        if (failingWrites.count(index)) {
            maybeVanish();
            return -1;
        }
        Bytes bytes(buf, buf + n);
        writes.push_back({bytes, params_, clock_.nowMs()});
        sent.insert(sent.end(), bytes.begin(), bytes.end());
        if (echo)
            deliver(bytes);
        pendingOut_.insert(pendingOut_.end(), bytes.begin(), bytes.end());
        playTurns();
        if (onWrite)
            onWrite(*this, bytes);
        maybeVanish();
        return n;
    }

    void discardInput() override
    {
        ++discards;
        while (!rx_.empty() && rx_.front().atMs <= clock_.nowMs())
            rx_.pop_front();
    }

private:
    struct Pending {
        uint8_t byte;
        int64_t atMs;
    };

    bool control(LineEvent::Kind kind, bool on, bool& state)
    {
        if (gone_)
            return false;
        state = on;
        events.push_back({kind, on, clock_.nowMs()});
        if (onControl)
            onControl(*this, events.back());
        return true;
    }

    void playTurns()
    {
        while (!turns_.empty() && pendingOut_.size() >= turns_.front().expect.size()) {
            const Turn turn = turns_.front();
            turns_.pop_front();
            const Bytes head(pendingOut_.begin(), pendingOut_.begin() + long(turn.expect.size()));
            pendingOut_.erase(pendingOut_.begin(), pendingOut_.begin() + long(turn.expect.size()));
            if (head != turn.expect)
                mismatches.push_back(hex(head) + " instead of " + hex(turn.expect));
            deliver(turn.reply, turn.delayMs, turn.gapMs);
        }
    }

    void maybeVanish()
    {
        if (goneAfterWrites >= 0 && writeCount_ >= goneAfterWrites)
            gone_ = true;
    }

    static std::string hex(const Bytes& b)
    {
        std::string s;
        char buf[4];
        for (uint8_t x : b) {
            std::snprintf(buf, sizeof buf, "%02X ", x);
            s += buf;
        }
        return s;
    }

    sim::VirtualClock& clock_;
    LineParams params_{};
    std::deque<Turn> turns_;
    std::deque<Pending> rx_;
    Bytes pendingOut_;
    int writeCount_ = 0;
    bool gone_ = false;
};

// The trace as lines, for comparing to the letter.
class RecordingTrace final : public TraceLog {
public:
    void debugLog(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

class CountingPump final : public EventPump {
public:
    void processEvents() override { ++count; }
    int count = 0;
};

// An engine wired to a scripted port on virtual time.
class EngineTest : public ::testing::Test {
protected:
    sim::VirtualClock clock;
    RecordingTrace trace;
    CountingPump pump;
    Exchange exchange{clock, pump, trace};
    ScriptedPort port{clock};
    Bytes reply = Bytes(64, 0xCC);
    int64_t startMs = clock.nowMs();

    ExchangeResult run(const Bytes& body, int replyLen, int channelType = 0)
    {
        startMs = clock.nowMs();
        return exchange.transact(port, body, reply, channelType, replyLen);
    }
    int64_t elapsedMs() const { return clock.nowMs() - startMs; }
    int traceCount(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& l : trace.lines)
            n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    Bytes replyHead(std::size_t n) const { return Bytes(reply.begin(), reply.begin() + long(n)); }
};

} // namespace kv::test
