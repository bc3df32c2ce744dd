// The program's exchange engine, line control, CAN link and command layer against the
// simulated controller: whole exchanges over every protocol and every family of channel
// types, and each fault mode giving the result the program documents for it.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>

#include "ScriptedOperator.h"
#include "protocol/CanBus.h"
#include "protocol/Commands.h"
#include "protocol/Exchange.h"
#include "protocol/LineControl.h"
#include "sim/SimPort.h"
#include "sim/Values.h"

namespace kv::sim {
namespace {

// The protocol settings of a test: the engine's `Prot` value and the simulator's protocol.
struct Proto {
    const char* name;
    uint8_t prot;      // 0 traditional, 1 FT1.2, 2 FT1.1
    int crcMode;
    Protocol sim;
};

const Proto kTrad{"traditional", 0, 0, Protocol::Traditional};
const Proto kFt12Crc0{"FT1.2 crc 0", 1, 0, Protocol::Ft12};
const Proto kFt12Crc1{"FT1.2 crc 1", 1, 1, Protocol::Ft12};
const Proto kFt12Crc2{"FT1.2 crc 2", 1, 2, Protocol::Ft12};
const Proto kFt11{"FT1.1", 2, 0, Protocol::Ft11};

// The catalog as the program would have it for the simulator's parameters.
std::optional<uint8_t> lookup(const ParamCode& code)
{
    static const std::map<uint8_t, uint8_t> own = {
        {0x00, 0}, {0x06, 0}, {0x07, 0}, {0x08, 0}, {0x14, 0}, {0x15, 0}, {0x16, 0}, {0x17, 0},
        {0x1E, 0}, {0x32, 4}, {0x46, 4}, {0x47, 6}, {0x49, 6}, {0x4A, 6}, {0x50, 10},
    };
    if (code.classBits() == 0x40)
        if (auto it = own.find(code.number); it != own.end())
            return it->second;
    for (const ParamDef& d : builtinParams())
        if (d.cls == code.classBits() && d.code == code.number)
            return d.format;
    return std::nullopt;
}

struct EngineRig {
    EngineRig(const Proto& p, int channelType, uint8_t net = 0, int switchChannel = 5)
        : exchange(clock, pump, trace), can(exchange), cmds(exchange, can, lookup)
    {
        StationOptions o;
        o.controller.networkNumber = net;
        o.controller.model = channelType >= 11 ? 3 : 2;
        o.responder.protocol = p.sim;
        o.responder.crcMode = p.crcMode;
        o.channelType = channelType;
        o.switchChannel = switchChannel;
        opener = std::make_unique<SimPortOpener>(o, &clock);
        ExchangeState& s = exchange.state();
        s.protocol = p.prot;
        s.crcMode = uint8_t(p.crcMode);
        s.networkNumber = net;
        s.computerAddress = 0x21;
        s.attemptCount = 3;
        type = channelType;
        CanInitBlock block = makeCanInitBlock({});
        can.setInitBlock(block);
        port = openLine(*opener, "Com1", 5, channelType, exchange,
                        [this](SerialPort& sp) { return can.initAdapter(sp); });
        ctl().setDateTime(dateTimeFromCivil({2026, 3, 5, 10, 21, 0}));
    }

    bool connectLine(int switchChannel = 5)
    {
        ConnectRequest req;
        req.channelType = type;
        req.switchChannel = switchChannel;
        const ConnectOutcome out = connect(exchange, *port, req, op);
        if (out.connected)
            type = out.channelType;
        if (exchange.state().protocol == 1 || exchange.state().protocol == 3)
            exchange.probeFrameCounter(*port, type);
        return out.connected;
    }

    // Hour and minute of the controller clock, read raw.
    ExchangeResult readTime(std::array<uint8_t, 2>& hm)
    {
        return cmds.readAddress(*port, type, 0x4015, hm);
    }

    // An ordinary exchange on the CAN adapter's line.
    ExchangeResult transactRefused()
    {
        const std::array<uint8_t, 3> body{0x01, 0x40, 0x00};
        std::array<uint8_t, 4> reply{};
        return exchange.transact(*port, body, reply, 11, 2);
    }

    Controller& ctl() { return opener->station().controller(); }
    Faults& faults() { return opener->station().faults(); }

    VirtualClock clock{46000.5};
    NullEventPump pump;
    NullTraceLog trace;
    kv::test::ScriptedOperator op;
    Exchange exchange;
    CanLink can;
    Commands cmds;
    std::unique_ptr<SimPortOpener> opener;
    std::unique_ptr<SerialPort> port;
    int type = 0;
};

// ---- whole exchanges --------------------------------------------------------------------

struct Family {
    const char* name;
    int channelType;
    uint8_t net;
};

const Family kFamilies[] = {
    {"plain Rs 232", 0, 0},
    {"two-wire ИРПС with echo", 2, 0},
    {"Rs 485 with network number", 3, 7},
    {"two-wire switch", 7, 0},
    {"four-wire switch", 9, 0},
    {"ИСМ-1200 line modem", 4, 0},
};

void wholeSession(EngineRig& r)
{
    ASSERT_TRUE(r.connectLine()) << "connect";
    EXPECT_TRUE(r.op.problems().empty());

    VersionInfo v;
    ASSERT_EQ(r.cmds.readVersion(*r.port, r.type, v), 0);
    EXPECT_EQ(v.model, 2);
    EXPECT_EQ(v.version, (std::array<uint8_t, 2>{0x07, 0x01}));

    r.ctl().setState(RunState::Stop);
    EXPECT_EQ(r.cmds.readStatus(*r.port, r.type, 0x18, 0), kStatusDiffers);
    EXPECT_EQ(r.cmds.stateName(), "ОСТАНОВ");
    ASSERT_EQ(r.cmds.setRunMode(*r.port, r.type), 0);
    EXPECT_EQ(r.cmds.readStatus(*r.port, r.type, 0x18, 0), kStatusDiffers);
    EXPECT_EQ(r.cmds.stateName(), "ПЕРЕЗАПУСК");
    r.clock.sleepMs(2000);
    EXPECT_EQ(r.cmds.readStatus(*r.port, r.type, 0x18, 0), 0);
    EXPECT_EQ(r.cmds.stateName(), "РАБОТА");

    double t = 0;
    ASSERT_EQ(r.cmds.readReal(*r.port, r.type, {0x00, 0x10, 1}, t), 0);
    EXPECT_GT(t, 40.0);
    EXPECT_LT(t, 70.0) << "sensor 1 is a return pipe";

    const std::array<uint8_t, 2> hm{7, 45};
    ASSERT_EQ(r.cmds.writeParam(*r.port, r.type, {0x40, 0x15, 0}, hm, ValueKind::Plain), 0);
    std::array<uint8_t, 2> back{};
    ASSERT_EQ(r.readTime(back), 0);
    EXPECT_EQ(back, hm);

    ASSERT_EQ(r.cmds.writeReal(*r.port, r.type, {0x80, 0x20, 2}, 1.0), 0);
    ASSERT_EQ(r.cmds.readReal(*r.port, r.type, {0x80, 0x20, 2}, t), 0);
    EXPECT_EQ(t, 1.0);

    // A group of one real and one pair: descriptor, then the group read.
    std::vector<uint8_t> descr{0x01, 0x10, 0x40, 0x15, 0xFF};
    descr.resize(128, 0);
    ASSERT_EQ(r.cmds.writeGroupDescriptor(*r.port, r.type, 3, descr), 0);
    std::array<uint8_t, 6> group{};
    ASSERT_EQ(r.cmds.readAddress(*r.port, r.type, 0x4351, group), 0);
    EXPECT_EQ(group[4], 7);
    EXPECT_EQ(group[5], 45);
    EXPECT_NEAR(decodeControllerReal(std::span<const uint8_t>(group).first(4)), t > 0 ? 55.0 : 0, 10.0);

    r.ctl().setBit(Controller::Buffer::Input, 0, 5, true);
    uint8_t bit = 0;
    ASSERT_EQ(r.cmds.bitOperation(*r.port, r.type, {0x40, 'G', 0, 5, 0}, bit), 0);
    EXPECT_EQ(bit, 0x20);
    ASSERT_EQ(r.cmds.bitOperation(*r.port, r.type, {0x40, 'I', 1, 12, 2}, bit), 0);
    EXPECT_TRUE(r.ctl().bit(Controller::Buffer::Output, 2, 12));

    ASSERT_EQ(r.cmds.resetFailures(*r.port, r.type), 0);
    r.clock.sleepMs(400);
    EXPECT_EQ(r.cmds.readStatus(*r.port, r.type, 0x04, 0x04), 0);
    EXPECT_EQ(releaseAtEnd(r.exchange, *r.port, r.type), 0);
}

TEST(EngineAgainstSim, WholeSessionOnEveryProtocolAndLineFamily)
{
    for (const Proto* p : {&kTrad, &kFt12Crc0, &kFt12Crc1, &kFt12Crc2, &kFt11})
        for (const Family& f : kFamilies) {
            SCOPED_TRACE(std::string(p->name) + " / " + f.name);
            EngineRig r(*p, f.channelType, f.net);
            wholeSession(r);
        }
}

TEST(EngineAgainstSim, FrameCounterProbeFollowsTheController)
{
    for (bool echo : {true, false}) {
        EngineRig r(kFt12Crc0, 0, 3);
        StationOptions o = r.opener->station().options();
        ResponderOptions ro = o.responder;
        ro.echoCounter = echo;
        r.opener->station().reconfigure(ro, 0, 0);
        r.port = openLine(*r.opener, "Com1", 5, 0, r.exchange);
        EXPECT_EQ(r.exchange.probeFrameCounter(*r.port, 0), echo ? 0 : 30);
        EXPECT_EQ(r.exchange.state().protocol, echo ? 3 : 1);
        std::array<uint8_t, 2> hm{};
        for (int i = 0; i < 12; ++i)   // the counter wraps from 8 to 0 on the way
            ASSERT_EQ(r.readTime(hm), 0) << i;
        EXPECT_EQ(hm, (std::array<uint8_t, 2>{10, 21}));
    }
}

TEST(EngineAgainstSim, SelectionFailuresAreReported)
{
    {
        EngineRig r(kTrad, 3, 7);
        r.faults().always(Fault::WrongAddress);
        r.op.expectMessage("Задан неверный сетевой номер ЗЕНТАР или ошибка обмена");
        EXPECT_FALSE(r.connectLine());
        EXPECT_TRUE(r.op.problems().empty());
    }
    {
        EngineRig r(kTrad, 9, 0, 5);
        static_cast<Line&>(*r.port).options().switchAnswers = false;
        r.op.expectMessage("Не получено подтверждение номера канала. 5  Проверьте подключение коммутатора");
        EXPECT_FALSE(r.connectLine(5));
        EXPECT_TRUE(r.op.problems().empty());
    }
    {
        EngineRig r(kTrad, 9, 0, 5);
        ASSERT_TRUE(r.connectLine(4)) << "the switch confirms channel 4";
        std::array<uint8_t, 2> hm{};
        EXPECT_EQ(r.readTime(hm), 1) << "but nobody answers there";
        ASSERT_TRUE(r.connectLine(5));
        EXPECT_EQ(r.readTime(hm), 0);
    }
}

// ---- fault modes ------------------------------------------------------------------------

struct FaultCase {
    Fault fault;
    ExchangeResult once;   // result with AttemptCount 1
    bool retried = true;   // a second attempt overcomes a fault that showed once
};

void checkFaults(const Proto& p, int channelType, std::initializer_list<FaultCase> cases)
{
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(std::string(p.name) + " type " + std::to_string(channelType) + ": " +
                     std::string(faultName(c.fault)));
        EngineRig r(p, channelType, channelType == 3 ? 7 : 0);
        ASSERT_TRUE(r.connectLine());
        std::array<uint8_t, 2> hm{};
        // "Succeed after 2": the first try fails, the second is served.
        const int times = c.fault == Fault::SucceedAfter ? 2 : 1;
        r.exchange.state().attemptCount = 1;
        r.faults().arm(c.fault, times);
        EXPECT_EQ(r.readTime(hm), c.once);
        EXPECT_EQ(r.faults().hits(c.fault), 1) << "the fault showed";
        // A fault that shows once is overcome by the next attempt.
        r.exchange.state().attemptCount = 3;
        r.faults().arm(c.fault, times);
        hm = {};
        if (c.retried) {
            EXPECT_EQ(r.readTime(hm), 0);
            EXPECT_EQ(hm, (std::array<uint8_t, 2>{10, 21}));
        } else {
            EXPECT_EQ(r.readTime(hm), c.once) << "ends the exchange at once";
        }
        // A fault that stays gives its result after every attempt. (A reply late enough to
        // miss every attempt: otherwise a late reply may well serve a later attempt.)
        r.faults().slowReplyMs = 30000;
        r.clock.sleepMs(10000);
        r.port->discardInput();
        if (c.fault != Fault::GarbageBeforeFrame || c.once != 0) {
            r.faults().always(c.fault);
            EXPECT_EQ(r.readTime(hm), c.once);
            r.faults().clearAll();
        }
    }
}

TEST(EngineAgainstSim, TraditionalFaults)
{
    for (int type : {0, 2, 3}) {
        checkFaults(kTrad, type,
                    {
                        {Fault::NoAnswer, 1},
                        {Fault::WrongControlByte, 1},
                        {Fault::NegativeReceipt, 3},
                        {Fault::BadChecksum, 4},
                        {Fault::TruncatedReply, 1},   // a short reply is refused as not complete
                        {Fault::SlowReply, 2},
                        {Fault::GarbageBeforeFrame, 0},
                        {Fault::WriteFailure, 8},
                        {Fault::SucceedAfter, 1},
                    });
    }
}

TEST(EngineAgainstSim, Ft12Faults)
{
    checkFaults(kFt12Crc0, 0,
                {
                    {Fault::NoAnswer, 1},
                    {Fault::NegativeReceipt, 38, false},
                    {Fault::BadChecksum, 36},
                    {Fault::GarbageBeforeFrame, 1},
                    {Fault::TruncatedReply, 5},
                    {Fault::WrongAddress, 31},
                    {Fault::WrongControlByte, 30},
                    {Fault::WrongLength, 33},
                    {Fault::WrongStartByte, 34},
                    {Fault::WrongEndByte, 35},
                    {Fault::SlowReply, 1},
                    {Fault::WriteFailure, 8},
                });
    for (const Proto* p : {&kFt12Crc1, &kFt12Crc2})
        checkFaults(*p, 2, {{Fault::BadChecksum, 11}, {Fault::WrongAddress, 31}, {Fault::TruncatedReply, 5}});
}

TEST(EngineAgainstSim, Ft11Faults)
{
    for (int type : {0, 7}) {
        checkFaults(kFt11, type,
                    {
                        {Fault::NoAnswer, 2},
                        {Fault::WrongAddress, 31},
                        {Fault::WrongControlByte, 30},
                        {Fault::TruncatedReply, 1},
                        {Fault::GarbageBeforeFrame, 30},
                        {Fault::SlowReply, 2},
                        {Fault::WriteFailure, 8},
                    });
    }
}

TEST(EngineAgainstSim, VanishedPortEndsEveryExchange)
{
    for (const Proto* p : {&kTrad, &kFt12Crc0, &kFt11}) {
        EngineRig r(*p, 0);
        ASSERT_TRUE(r.connectLine());
        r.faults().always(Fault::PortGone);
        std::array<uint8_t, 2> hm{};
        const ExchangeResult res = r.readTime(hm);
        EXPECT_NE(res, 0) << p->name;
        EXPECT_EQ(hm, (std::array<uint8_t, 2>{})) << p->name;
    }
}

TEST(EngineAgainstSim, ModemPowerOffEndsAtOnce)
{
    for (const Proto* p : {&kTrad, &kFt12Crc0, &kFt11}) {
        EngineRig r(*p, 5);
        ASSERT_TRUE(r.connectLine());
        static_cast<Line&>(*r.port).setModemPower(false);
        std::array<uint8_t, 2> hm{};
        const int64_t t0 = r.clock.nowUs();
        EXPECT_EQ(r.readTime(hm), 6) << p->name;
        EXPECT_LT(r.clock.nowUs() - t0, 3000000) << "no retry pauses";
    }
}

TEST(EngineAgainstSim, NoControllerMeansThreeAttemptsWithPauses)
{
    EngineRig r(kTrad, 0);
    r.faults().always(Fault::NoAnswer);
    std::array<uint8_t, 2> hm{};
    const int64_t t0 = r.clock.nowUs();
    EXPECT_EQ(r.readTime(hm), 1);
    const int64_t took = r.clock.nowUs() - t0;
    EXPECT_GE(took, 2 * 3000000 + 3 * 1000000);
    EXPECT_LT(took, 2 * 3000000 + 3 * 1800000);
    EXPECT_EQ(r.faults().hits(Fault::NoAnswer), 3);
}

// ---- CAN-BUS ----------------------------------------------------------------------------

TEST(EngineAgainstSim, CanAdapterSession)
{
    EngineRig r(kTrad, 11, 4);
    ASSERT_TRUE(r.port);
    ASSERT_TRUE(r.connectLine());
    VersionInfo v;
    ASSERT_EQ(r.cmds.readVersion(*r.port, 11, v), 0);
    EXPECT_EQ(v.model, 3);
    EXPECT_EQ(r.ctl().lastCanControl(), 3);

    r.ctl().setState(RunState::Stop);
    uint8_t status = 0;
    EXPECT_EQ(r.cmds.readStatus(*r.port, 11, 0x18, 0, &status), kStatusDiffers);
    EXPECT_EQ(status, 0x08);
    double t = 0;
    ASSERT_EQ(r.cmds.readReal(*r.port, 11, {0x00, 0x10, 0}, t), 0);
    EXPECT_GT(t, 70.0);
    std::array<uint8_t, 128> rec{};
    r.ctl().setFailure(2, 0x40, true);
    ASSERT_EQ(r.can.read(*r.port, 11, 0x4032, rec), 0);
    EXPECT_EQ(rec[58], 0x40);
    EXPECT_EQ(r.transactRefused(), 50);

    // The carrier drops: the next frame initialises the adapter again.
    dynamic_cast<CanAdapter&>(r.opener->station().device()).loseCarrier();
    EXPECT_EQ(r.cmds.readStatus(*r.port, 11, 0x18, 0x08), 0);
    dynamic_cast<CanAdapter&>(r.opener->station().device()).loseCarrier();
    dynamic_cast<CanAdapter&>(r.opener->station().device()).setRefuseInit(true);
    r.exchange.state().attemptCount = 1;
    EXPECT_EQ(r.cmds.readStatus(*r.port, 11, 0x18, 0x08), 46);
}

TEST(EngineAgainstSim, CanFaults)
{
    // The frame exchange keeps what is left in the receive buffer between attempts, so after
    // noise or a late reply every following frame is read out of step: no recovery is asserted.
    const FaultCase cases[] = {
        {Fault::NoAnswer, 41},
        {Fault::WrongControlByte, 42},
        {Fault::WrongLength, 43},
        {Fault::TruncatedReply, 41},
        {Fault::GarbageBeforeFrame, 42, false},
        {Fault::SlowReply, 41, false},
        {Fault::WriteFailure, 8},
        {Fault::SucceedAfter, 41},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(std::string(faultName(c.fault)));
        EngineRig r(kTrad, 11, 4);
        ASSERT_TRUE(r.connectLine());
        std::array<uint8_t, 2> st{};
        const int times = c.fault == Fault::SucceedAfter ? 2 : 1;
        r.exchange.state().attemptCount = 1;
        r.faults().arm(c.fault, times);
        EXPECT_EQ(r.can.read(*r.port, 11, 0x4000, st), c.once);
        r.exchange.state().attemptCount = 3;
        r.faults().arm(c.fault, times);
        if (c.retried) {
            EXPECT_EQ(r.can.read(*r.port, 11, 0x4000, st), 0);
        }
    }
}

TEST(EngineAgainstSim, GatewaySession)
{
    for (const Proto* p : {&kTrad, &kFt12Crc0}) {
        SCOPED_TRACE(p->name);
        EngineRig r(*p, 12, 4);
        ASSERT_TRUE(r.connectLine());
        VersionInfo v;
        ASSERT_EQ(r.cmds.readVersion(*r.port, 12, v), 0) << "frames over the modem line";
        EXPECT_EQ(v.model, 3);
        r.ctl().setState(RunState::Stop);
        uint8_t status = 0;
        EXPECT_EQ(r.cmds.readStatus(*r.port, 12, 0x18, 0, &status), kStatusDiffers);
        EXPECT_EQ(status, 0x08);
        ASSERT_EQ(r.can.control(*r.port, 12, 1), 0);
        EXPECT_EQ(r.ctl().lastCanControl(), 1);
        std::array<uint8_t, 8> buf{};
        r.ctl().setBit(Controller::Buffer::Output, 0, 40, true);
        ASSERT_EQ(r.can.read(*r.port, 12, 0x4049, buf), 0);
        EXPECT_EQ(buf[5], 0x01);
    }
}

} // namespace
} // namespace kv::sim
