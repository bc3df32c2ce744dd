// The engine and the line control against the simulated controller, which was written apart
// from them: opening, connecting, the probe and a few exchanges on every protocol and on the
// line kinds that change the byte stream (echo, switch, ninth bit, line modem).
#include <gtest/gtest.h>

#include "ScriptedPort.h"
#include "protocol/LineControl.h"
#include "sim/SimPort.h"

using namespace kv;
using namespace kv::test;

namespace {

struct SimCase {
    const char* name;
    uint8_t protocol;   // engine: 0 traditional, 1 FT1.2, 2 FT1.1
    int crcMode;
    int channelType;
    uint8_t network;
    int switchChannel;
    int channel;        // ninth-bit parities
};

// Failure messages name the case, not its bytes.
void PrintTo(const SimCase& c, std::ostream* os) { *os << c.name; }

sim::Protocol simProtocol(uint8_t p)
{
    return p == prot::Ft12 ? sim::Protocol::Ft12 : p == prot::Ft11 ? sim::Protocol::Ft11
                                                                   : sim::Protocol::Traditional;
}

class QuietOperator final : public Operator {
public:
    bool askYesNo(const std::string&) override { return false; }
    void message(MessageKind, const std::string& text) override { messages.push_back(text); }
    void setBusy(bool) override {}
    void setStatus(const std::string&) override {}
    std::vector<std::string> messages;
};

} // namespace

class WithSimulator : public ::testing::TestWithParam<SimCase> {
protected:
    sim::VirtualClock clock;
    RecordingTrace trace;
    CountingPump pump;
    Exchange exchange{clock, pump, trace};
    QuietOperator op;

    sim::StationOptions options(const SimCase& c, uint8_t controllerNetwork) const
    {
        sim::StationOptions o;
        o.controller.networkNumber = controllerNetwork;
        o.responder.protocol = simProtocol(c.protocol);
        o.responder.crcMode = c.crcMode;
        o.responder.addressChannel = c.channel;
        o.channelType = c.channelType;
        o.switchChannel = c.switchChannel;
        return o;
    }

    void configure(const SimCase& c)
    {
        exchange.state().protocol = c.protocol;
        exchange.state().crcMode = uint8_t(c.crcMode);
        exchange.state().networkNumber = c.network;
    }
};

TEST_P(WithSimulator, OpensConnectsAndExchanges)
{
    const SimCase& c = GetParam();
    configure(c);
    sim::SimPortOpener opener(options(c, c.network), &clock);
    auto port = openLine(opener, "Com1", 5, c.channelType, exchange);
    ASSERT_NE(port, nullptr);
    if (isIsmLine(c.channelType)) {
        EXPECT_EQ(trace.lines, std::vector<std::string>{"установлен тракт модема (1200)"});
    }

    const auto link = connect(exchange, *port, {c.channelType, c.switchChannel, c.channel, true}, op);
    ASSERT_TRUE(link.connected) << (op.messages.empty() ? "" : op.messages.front());
    EXPECT_TRUE(op.messages.empty());
    // Wiring detection agrees with the line: two-wire lines echo, four-wire lines do not.
    EXPECT_EQ(link.channelType, c.channelType);
    const int type = link.channelType;

    EXPECT_EQ(exchange.probeFrameCounter(*port, type), xr::Ok);

    const Bytes status{0x01, 0x40, 0x00};
    Bytes reply(2, 0xCC);
    ASSERT_EQ(exchange.transact(*port, status, reply, type, 2), xr::Ok);
    EXPECT_EQ(reply[1], opener.station().controller().statusByte(clock.nowUs()));

    // Receipt-only commands, the second long enough for a long FT1.2 frame: write-enable of
    // group descriptor 0, then the 128-byte descriptor (the status word, then the end mark).
    EXPECT_EQ(exchange.transact(*port, Bytes{0x05, 0x40, 0x07, 0xBF, 0xAF}, {}, type, 0), xr::Ok);
    Bytes write{0x05, 0x40, 0x50, 0x40, 0x00, 0xFF};
    write.resize(3 + 128, 0x00);
    EXPECT_EQ(exchange.transact(*port, write, {}, type, 0), xr::Ok);
    EXPECT_EQ(opener.station().controller().groupAddresses(0), std::vector<uint16_t>{0x4000});
    EXPECT_EQ(releaseAtEnd(exchange, *port, type), xr::Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, WithSimulator,
    ::testing::Values(SimCase{"TraditionalRs232", prot::Traditional, 0, 0, 0, 0, 0},
                      SimCase{"TraditionalAddressedMarkSpace", prot::Traditional, 0, 3, 7, 0, 0},
                      SimCase{"TraditionalAddressedEvenOdd", prot::Traditional, 0, 3, 7, 0, 1},
                      SimCase{"TraditionalTwoWireLoopAddressed", prot::Traditional, 0, 2, 9, 0, 0},
                      SimCase{"TraditionalFourWireLoop", prot::Traditional, 0, 1, 0, 0, 0},
                      SimCase{"TraditionalLineModem", prot::Traditional, 0, 4, 0, 0, 0},
                      SimCase{"TraditionalSwitchTwoWire", prot::Traditional, 0, 7, 0, 5, 0},
                      SimCase{"TraditionalSwitchFourWire", prot::Traditional, 0, 9, 0, 3, 0},
                      SimCase{"Ft12Sum", prot::Ft12, 0, 0, 5, 0, 0},
                      SimCase{"Ft12CrcInData", prot::Ft12, 1, 0, 5, 0, 0},
                      SimCase{"Ft12CrcTrailer", prot::Ft12, 2, 0, 5, 0, 0},
                      SimCase{"Ft12TwoWire", prot::Ft12, 0, 2, 5, 0, 0},
                      SimCase{"Ft11", prot::Ft11, 0, 0, 5, 0, 0},
                      SimCase{"Ft11TwoWire", prot::Ft11, 0, 2, 5, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WithSimulator, WrongNetworkNumberIsRefusedWithTheWarning)
{
    const SimCase c{"", prot::Traditional, 0, 3, 8, 0, 0};
    configure(c);
    sim::SimPortOpener opener(options(c, 7), &clock);
    auto port = openLine(opener, "Com1", 5, c.channelType, exchange);
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(connect(exchange, *port, {c.channelType, 0, 0, false}, op).connected);
    EXPECT_EQ(op.messages, std::vector<std::string>{"Задан неверный сетевой номер ЗЕНТАР или ошибка обмена"});
}

TEST_F(WithSimulator, ProbeFindsWhetherTheControllerCountsFrames)
{
    for (const bool echoes : {true, false}) {
        const SimCase c{"", prot::Ft12, 0, 0, 5, 0, 0};
        configure(c);
        auto o = options(c, 5);
        o.responder.echoCounter = echoes;
        sim::SimPortOpener opener(o, &clock);
        auto port = openLine(opener, "Com1", 5, 0, exchange);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(exchange.probeFrameCounter(*port, 0), echoes ? xr::Ok : xr::ControlByte);
        EXPECT_EQ(exchange.state().protocol, echoes ? prot::Ft12Counted : prot::Ft12);
        // Either way the exchanges that follow work, across a wrap of the counter.
        for (int i = 0; i < 10; ++i) {
            Bytes reply(2);
            EXPECT_EQ(exchange.transact(*port, Bytes{0x01, 0x40, 0x00}, reply, 0, 2), xr::Ok) << i;
        }
    }
}
