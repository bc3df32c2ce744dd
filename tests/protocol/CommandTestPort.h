#pragma once
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/TraceLog.h"
#include "protocol/SerialPort.h"
#include "sim/VirtualClock.h"

// A scripted serial port for the command-layer tests. It answers as a controller would, with
// just enough of each line protocol to drive the real engine: the traditional handshake,
// receipt and checksummed reply; the CAN adapter's initialisation answer and 13-byte reply
// frames. Values live in maps keyed by controller address; faults are switched on per test.
// Reading with nothing pending advances the virtual clock by the read time-out, as a real
// port would block for it.

namespace kv::test {

class CommandTrace final : public TraceLog {
public:
    void debugLog(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

class CommandTestPort final : public SerialPort {
public:
    enum class Receipt { Positive, Negative, None };

    explicit CommandTestPort(sim::VirtualClock& clock) : clock_(clock) {}

    // ---- the controller behind the line (traditional protocol) ----
    std::map<uint16_t, std::vector<uint8_t>> values;   // reply of a read at an address
    Receipt receipt = Receipt::Positive;
    bool silent = false;              // no answer at all, not even 0x04
    bool corruptReplySum = false;     // reply checksum off by one
    std::vector<std::vector<uint8_t>> bodies;          // request bodies received, in order
    // Reply data for bodies other than reads (the bit operation's one byte, ...).
    std::function<std::optional<std::vector<uint8_t>>(const std::vector<uint8_t>&)> replyFor;

    // ---- the CAN adapter / CAN controller ----
    std::map<uint16_t, std::vector<uint8_t>> canValues;
    std::vector<uint8_t> adapterAnswer{0x30, 0x0A, 0x0D};   // to the initialisation block
    bool canSilent = false;
    uint8_t tagFlip = 0;              // XORed into the reply tag (0x20 gives a mismatch)
    std::optional<int> countNibble;   // reply count nibble instead of the right one
    uint8_t countHighNibble = 0x50;   // noise the link must strip from byte 4
    std::vector<std::vector<uint8_t>> canFrames;       // request frames received
    int initBlocks = 0;

    // ---- the port itself ----
    ModemStatus status{true, true, true};
    bool failWrites = false;
    std::vector<uint8_t> written;                      // every byte written, in order
    std::vector<int> dtrChanges;                       // 1 on, 0 off
    int readTimeoutMs = 0;

    void feed(std::span<const uint8_t> bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }

    // SerialPort
    bool setParams(const LineParams& p) override { params_ = p; return true; }
    LineParams params() const override { return params_; }
    bool setDtr(bool on) override { dtrChanges.push_back(on ? 1 : 0); return true; }
    bool setRts(bool) override { return true; }
    bool setBreak(bool) override { return true; }
    ModemStatus modemStatus() override { return status; }
    void setTimeouts(int readTotalMs, int) override { readTimeoutMs = readTotalMs; }
    void discardInput() override { input_.clear(); }

    int read(uint8_t* buf, int n) override {
        const int k = std::min<int>(n, int(input_.size()));
        std::copy_n(input_.begin(), k, buf);
        input_.erase(input_.begin(), input_.begin() + k);
        if (k < n)
            clock_.advanceMs(readTimeoutMs);   // a short read waited out the time-out
        return k;
    }

    int write(const uint8_t* buf, int n) override {
        if (failWrites)
            return -1;
        std::vector<uint8_t> w(buf, buf + n);
        written.insert(written.end(), w.begin(), w.end());
        answer(w);
        return n;
    }

private:
    void answer(const std::vector<uint8_t>& w) {
        if (awaitingFrame_) {
            awaitingFrame_ = false;
            traditionalFrame(w);
        } else if (w.size() == 1 && w[0] == 0x05) {
            if (!silent) {
                push({0x04});
                awaitingFrame_ = true;
            }
        } else if (w.size() == 36) {
            ++initBlocks;
            push(adapterAnswer);
        } else if (w.size() == 13) {
            canFrame(w);
        }
    }

    void traditionalFrame(const std::vector<uint8_t>& f) {
        if (f.size() < 2 || f[0] != f.size() - 2)
            return;
        uint8_t sum = 0;
        for (std::size_t i = 1; i < f.size(); ++i)
            sum = uint8_t(sum + f[i]);
        std::vector<uint8_t> body(f.begin() + 1, f.end() - 1);
        bodies.push_back(body);
        if (receipt == Receipt::None)
            return;
        if (receipt == Receipt::Negative || sum != 0) {
            push({0x15});
            return;
        }
        push({0x06});
        std::optional<std::vector<uint8_t>> data;
        if (replyFor)
            data = replyFor(body);
        if (!data && body.size() == 3 && body[0] == 0x01)
            data = lookup(values, uint16_t(body[1] << 8 | body[2]), -1);
        if (!data && body.size() == 4 && body[0] == 0x11)   // gateway read, traditional form
            data = lookup(canValues, uint16_t(body[2] << 8 | body[1]), 4);
        if (!data)
            return;
        uint8_t s = 0;
        for (uint8_t b : *data)
            s = uint8_t(s + b);
        data->push_back(uint8_t(-s + (corruptReplySum ? 1 : 0)));
        push(*data);
    }

    void canFrame(const std::vector<uint8_t>& f) {
        canFrames.push_back(f);
        if (canSilent)
            return;
        std::vector<uint8_t> r(13, 0);
        r[0] = f[0];
        r[1] = uint8_t((f[1] & 0xE0) ^ tagFlip) | 0x01;
        int count = 0;
        if (f[6] == 0x02) {   // first read frame: the address
            cursor_ = uint16_t(f[8] << 8 | f[7]);
            offset_ = 0;
        }
        if (f[6] == 0x05) {   // control: the value comes back as the one data byte
            r[6] = f[7];
            count = 1;
        }
        if (f[6] == 0x02 || f[6] == 0x01) {
            const std::vector<uint8_t> v = lookup(canValues, cursor_, -1).value_or(std::vector<uint8_t>{});
            for (; count < 4 && offset_ < v.size(); ++count)
                r[std::size_t(6 + count)] = v[offset_++];
        }
        r[4] = uint8_t(countHighNibble | ((countNibble ? *countNibble : count + 1) & 0x0F));
        push(r);
    }

    static std::optional<std::vector<uint8_t>> lookup(const std::map<uint16_t, std::vector<uint8_t>>& m,
                                                      uint16_t address, int size) {
        auto it = m.find(address);
        if (it == m.end())
            return size < 0 ? std::nullopt : std::optional(std::vector<uint8_t>(std::size_t(size), 0));
        std::vector<uint8_t> v = it->second;
        if (size >= 0)
            v.resize(std::size_t(size), 0);
        return v;
    }

    void push(const std::vector<uint8_t>& bytes) { input_.insert(input_.end(), bytes.begin(), bytes.end()); }

    sim::VirtualClock& clock_;
    LineParams params_;
    std::deque<uint8_t> input_;
    bool awaitingFrame_ = false;
    uint16_t cursor_ = 0;
    std::size_t offset_ = 0;
};

} // namespace kv::test
