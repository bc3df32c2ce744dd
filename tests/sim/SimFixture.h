#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/SimPort.h"
#include "sim/Values.h"
#include "sim/VirtualClock.h"

// A simulated controller on a simulated line, driven byte by byte from the computer's side.
namespace kv::sim::test {

using Bytes = std::vector<uint8_t>;

struct Rig {
    explicit Rig(StationOptions o = {}, kv::LineParams p = {9600, 8, kv::Parity::None, 2, false})
        : station(clock, std::move(o)), line(station.openLine())
    {
        line->setParams(p);
        line->setTimeouts(1000, 500);
    }

    void send(const Bytes& b) { ASSERT_EQ(line->write(b.data(), int(b.size())), int(b.size())); }
    // Everything that arrives within `ms`.
    Bytes recv(int ms = 300)
    {
        line->setTimeouts(ms, 500);
        Bytes out(512);
        const int n = line->read(out.data(), int(out.size()));
        out.resize(n > 0 ? std::size_t(n) : 0);
        line->setTimeouts(1000, 500);
        return out;
    }
    Controller& ctl() { return station.controller(); }
    Faults& faults() { return station.faults(); }

    VirtualClock clock{46000.5};
    Station station;
    std::unique_ptr<Line> line;
};

inline StationOptions options(Protocol p, uint8_t net = 0, int channelType = 0, int crcMode = 0)
{
    StationOptions o;
    o.controller.networkNumber = net;
    o.responder.protocol = p;
    o.responder.crcMode = crcMode;
    o.channelType = channelType;
    return o;
}

// The traditional frame of a body: N, body, checksum.
inline Bytes tradFrame(const Bytes& body)
{
    Bytes f{uint8_t(body.size())};
    f.insert(f.end(), body.begin(), body.end());
    f.push_back(uint8_t(-sum8(body)));
    return f;
}

} // namespace kv::sim::test
