// Line disciplines and the connect steps: what the handshake lines do, how long the line rests,
// the switch channel bit pattern, wiring detection and ninth-bit addressing.
#include <gtest/gtest.h>

#include <map>

#include "ScriptedPort.h"
#include "protocol/LineControl.h"

using namespace kv;
using namespace kv::test;

namespace {

class RecordingOperator final : public Operator {
public:
    bool askYesNo(const std::string& text) override
    {
        ADD_FAILURE() << "unexpected question: " << text;
        return false;
    }
    void message(MessageKind kind, const std::string& text) override
    {
        kinds.push_back(kind);
        messages.push_back(text);
    }
    void setBusy(bool busy) override { busyLog.push_back(busy); }
    void setStatus(const std::string&) override {}

    std::vector<MessageKind> kinds;
    std::vector<std::string> messages;
    std::vector<bool> busyLog;
};

// A channel switch: shifts the number in on RTS pulses (transmit line low = break = 0), then
// shifts it back out on CTS, one bit per pulse on the transmit line.
struct ChannelSwitch {
    int loadPulses = 0;
    int number = 0;
    int outPulses = 0;
    int answerInstead = -1;
    std::vector<bool> breakAtClock;   // break state at each loading clock pulse

    void attach(ScriptedPort& port)
    {
        port.onControl = [this](ScriptedPort& p, const LineEvent& e) {
            if (e.kind == LineEvent::Rts && e.on && loadPulses < 8) {
                breakAtClock.push_back(p.brk);
                number = ((number << 1) | (p.brk ? 0 : 1)) & 0xFF;
                ++loadPulses;
            } else if (e.kind == LineEvent::Break && e.on && loadPulses == 8) {
                ++outPulses;
            }
        };
        port.statusFn = [this] {
            ModemStatus s;
            const int value = answerInstead >= 0 ? answerInstead : number;
            s.cts = loadPulses == 8 && outPulses < 8 && ((value >> (7 - outPulses)) & 1) != 0;
            return s;
        };
    }
};

} // namespace

class LineControl : public EngineTest {
protected:
    RecordingOperator op;
};

TEST_F(LineControl, SwitchChannelGoesOutMsbFirstAndMustComeBack)
{
    ChannelSwitch sw;
    sw.attach(port);
    EXPECT_TRUE(selectSwitchChannel(port, clock, 5));
    // Bits 0,0,0,0,0,1,0,1: break on for every 0.
    EXPECT_EQ(sw.breakAtClock, (std::vector<bool>{true, true, true, true, true, false, true, false}));
    EXPECT_EQ(sw.outPulses, 8);
    EXPECT_TRUE(port.dtr);
    EXPECT_FALSE(port.brk);
    EXPECT_EQ(clock.nowMs() - startMs, 8 * 2);

    ChannelSwitch wrong;
    wrong.answerInstead = 6;
    ScriptedPort other(clock);
    wrong.attach(other);
    EXPECT_FALSE(selectSwitchChannel(other, clock, 5));

    ScriptedPort noSwitch(clock);
    noSwitch.status.cts = false;
    EXPECT_FALSE(selectSwitchChannel(noSwitch, clock, 5));
}

TEST_F(LineControl, WiringDetectionListensForTheProbeByte)
{
    struct Case {
        int type;
        bool enabled;
        bool echo;
        int expected;
        int64_t ms;
    };
    const Case cases[] = {
        {1, true, true, 2, 300},   {1, true, false, 1, 200}, {2, true, false, 1, 200},
        {2, false, false, 2, 0},   // detection off: a two-wire line stays two-wire
        {7, true, true, 7, 300},   {9, true, true, 7, 300},  {7, true, false, 9, 200},
        {0, true, true, 0, 0},     {4, true, true, 4, 0},
    };
    for (const auto& c : cases) {
        ScriptedPort line(clock);
        line.echo = c.echo;
        const int64_t t0 = clock.nowMs();
        EXPECT_EQ(detectWiring(line, clock, c.type, c.enabled), c.expected) << c.type;
        EXPECT_EQ(clock.nowMs() - t0, c.ms) << c.type;
        const std::size_t probes = c.ms == 0 ? 0 : (c.echo ? 1 : 2);
        EXPECT_EQ(line.sent, Bytes(probes, 0xFF)) << c.type;
    }
}

TEST_F(LineControl, NetworkNumberGoesWithTheAddressParityAndTheLineStaysOnTheDataParity)
{
    struct Case {
        int channel;
        Parity address;
        Parity data;
    };
    for (const Case c : {Case{0, Parity::Mark, Parity::Space}, Case{1, Parity::Even, Parity::Odd}}) {
        ScriptedPort line(clock);
        line.onWrite = [](ScriptedPort& p, const Bytes& b) {
            if (b == Bytes{0x07, 0xFF})
                p.deliver({0x07}, 10);
        };
        const int64_t t0 = clock.nowMs();
        EXPECT_TRUE(selectByNetworkNumber(line, clock, 7, c.channel, 0, 5));
        ASSERT_EQ(line.writes.size(), 1u);
        EXPECT_EQ(line.writes[0].bytes, (Bytes{0x07, 0xFF}));
        EXPECT_EQ(line.writes[0].params.parity, c.address);
        EXPECT_EQ(line.writes[0].params.stopBits, 1);
        EXPECT_EQ(line.params().parity, c.data);
        EXPECT_EQ(line.params().stopBits, 1);
        EXPECT_EQ(clock.nowMs() - t0, 50 + 2 + 10 + 20);
    }
}

TEST_F(LineControl, NetworkNumberSelectionFailsOnSilenceOrAnotherNumber)
{
    EXPECT_FALSE(selectByNetworkNumber(port, clock, 7, 0, 0, 5));
    EXPECT_EQ(clock.nowMs() - startMs, 50 + 2 + 1800);   // two wait units of 100 ms reads

    ScriptedPort other(clock);
    other.onWrite = [](ScriptedPort& p, const Bytes&) { p.deliver({0x08}, 10); };
    EXPECT_FALSE(selectByNetworkNumber(other, clock, 7, 0, 0, 5));
}

TEST_F(LineControl, NetworkNumberEchoOnTwoWireLinesIsNotTheAnswer)
{
    port.echo = true;
    EXPECT_FALSE(selectByNetworkNumber(port, clock, 7, 0, 2, 5));
    EXPECT_TRUE(port.dtr);
    EXPECT_FALSE(port.rts);

    ScriptedPort answering(clock);
    answering.echo = true;
    answering.onWrite = [](ScriptedPort& p, const Bytes&) { p.deliver({0x07}, 10); };
    EXPECT_TRUE(selectByNetworkNumber(answering, clock, 7, 0, 2, 5));
}

TEST_F(LineControl, TurnaroundPerChannelType)
{
    struct Case {
        int type;
        int speed;
        int64_t beforeMs;
        int64_t afterMs;
        bool dtr, rts;   // after both turnarounds
    };
    const Case cases[] = {
        {0, 5, 2, 0, false, false}, {1, 0, 5, 0, true, false},   {1, 5, 3, 0, true, false},
        {2, 2, 4, 0, true, false},  {3, 5, 2, 0, false, false},  {4, 0, 57, 65, true, false},
        {5, 5, 57, 55, true, false}, {6, 5, 2, 0, true, true},   {7, 0, 5, 0, false, false},
        {8, 5, 2, 0, true, true},   {9, 5, 3, 0, false, false},  {10, 5, 2, 0, false, false},
        {11, 5, 0, 0, false, false}, {12, 5, 2, 0, false, false},
    };
    for (const auto& c : cases) {
        ScriptedPort line(clock);
        int64_t t0 = clock.nowMs();
        beforeSending(line, clock, c.type, c.speed);
        EXPECT_EQ(clock.nowMs() - t0, c.beforeMs) << c.type;
        t0 = clock.nowMs();
        afterSending(line, clock, c.type, c.speed);
        EXPECT_EQ(clock.nowMs() - t0, c.afterMs) << c.type;
        EXPECT_EQ(line.dtr, c.dtr) << c.type;
        EXPECT_EQ(line.rts, c.rts) << c.type;
    }
    EXPECT_EQ(channelTypeName(6), "Hayes-модем ");
    EXPECT_EQ(channelTypeName(7), "Мультиплексор токовой петли(2-х проводной)");
    EXPECT_EQ(channelTypeName(13), "");
}

namespace {

// Opens ScriptedPorts on virtual time and keeps a view of the last one.
class TestOpener final : public PortOpener {
public:
    explicit TestOpener(sim::VirtualClock& c) : clock(c) {}
    std::unique_ptr<SerialPort> open(const std::string& name) override
    {
        if (name != "Com1")
            return nullptr;
        auto p = std::make_unique<ScriptedPort>(clock);
        p->status = status;
        last = p.get();
        return p;
    }
    sim::VirtualClock& clock;
    ModemStatus status{true, true, true};
    ScriptedPort* last = nullptr;
};

} // namespace

TEST_F(LineControl, OpenSetsLineParametersAndHandshakeLines)
{
    TestOpener opener(clock);
    auto port1 = openLine(opener, "Com1", 8, 0, exchange);
    ASSERT_NE(port1, nullptr);
    EXPECT_EQ(port1->params(), (LineParams{56000, 8, Parity::None, 2, false}));
    EXPECT_EQ(exchange.state().speedIndex, 8);
    EXPECT_FALSE(opener.last->dtr);
    EXPECT_FALSE(opener.last->rts);
    EXPECT_EQ(opener.last->discards, 1);

    const int64_t t0 = clock.nowMs();
    auto hayes = openLine(opener, "Com1", 5, 6, exchange);
    ASSERT_NE(hayes, nullptr);
    EXPECT_EQ(hayes->params().stopBits, 1);
    std::vector<std::pair<bool, int64_t>> dtr;
    for (const auto& e : opener.last->events)
        if (e.kind == LineEvent::Dtr)
            dtr.emplace_back(e.on, e.atMs - t0);
    EXPECT_EQ(dtr, (std::vector<std::pair<bool, int64_t>>{{true, 0}, {false, 500}, {true, 1000}}));

    int initCalls = 0;
    SerialPort* initOn = nullptr;
    auto can = openLine(opener, "Com1", 5, 11, exchange, [&](SerialPort& p) {
        ++initCalls;
        initOn = &p;
        return false;   // a failed set-up does not fail the open
    });
    ASSERT_NE(can, nullptr);
    EXPECT_EQ(can->params(), (LineParams{9600, 8, Parity::None, 1, true}));
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(initOn, can.get());

    EXPECT_EQ(openLine(opener, "Com4", 5, 0, exchange), nullptr);
}

TEST_F(LineControl, LineModemSetUpWaitsForCtsAndOnlyLogsTheOutcome)
{
    TestOpener opener(clock);
    opener.status.cts = false;   // what a modem at 300 baud does
    auto at300 = openLine(opener, "Com1", 0, 4, exchange);
    ASSERT_NE(at300, nullptr);
    EXPECT_TRUE(opener.last->dtr);
    EXPECT_FALSE(opener.last->rts);
    EXPECT_EQ(clock.nowMs() - startMs, 0);

    const int64_t t0 = clock.nowMs();
    auto at1200 = openLine(opener, "Com1", 2, 5, exchange);   // CTS should rise, but does not
    ASSERT_NE(at1200, nullptr);
    EXPECT_FALSE(opener.last->dtr);
    EXPECT_TRUE(opener.last->rts);
    EXPECT_EQ(clock.nowMs() - t0, 1000);
    EXPECT_EQ(trace.lines, (std::vector<std::string>{"установлен тракт модема (300)",
                                                     "тракт модема не установлен (1200)"}));
}

TEST_F(LineControl, ConnectWithNetworkNumberZeroMakesNoSelection)
{
    const auto out = connect(exchange, port, {1, 0, 0, false}, op);
    EXPECT_TRUE(out.connected);
    EXPECT_EQ(out.channelType, 1);
    EXPECT_TRUE(port.paramHistory.empty());
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(op.busyLog, (std::vector<bool>{true, false}));
}

TEST_F(LineControl, ConnectAddressesTheControllerOnTraditionalLinesOnly)
{
    exchange.state().networkNumber = 7;
    port.onWrite = [](ScriptedPort& p, const Bytes& b) {
        if (b == Bytes{0x07, 0xFF})
            p.deliver({0x07}, 10);
    };
    EXPECT_TRUE(connect(exchange, port, {0, 0, 0, false}, op).connected);
    EXPECT_EQ(port.sent, (Bytes{0x07, 0xFF}));

    ScriptedPort ft(clock);
    exchange.state().protocol = prot::Ft12;
    EXPECT_TRUE(connect(exchange, ft, {0, 0, 0, false}, op).connected);
    EXPECT_TRUE(ft.sent.empty());
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(LineControl, ConnectReleasesBeforeTheSecondTryAndWarnsWhenBothFail)
{
    exchange.state().networkNumber = 7;
    exchange.state().attemptCount = 1;
    const auto out = connect(exchange, port, {0, 0, 0, false}, op);
    EXPECT_FALSE(out.connected);
    // Address, release (its ENQ goes unanswered), address again.
    EXPECT_EQ(port.sent, (Bytes{0x07, 0xFF, 0x05, 0x07, 0xFF}));
    EXPECT_EQ(op.messages, std::vector<std::string>{"Задан неверный сетевой номер ЗЕНТАР или ошибка обмена"});
    EXPECT_EQ(op.kinds, std::vector<MessageKind>{MessageKind::Warning});
    EXPECT_EQ(op.busyLog, (std::vector<bool>{true, false}));
}

TEST_F(LineControl, ConnectThroughTheSwitchDetectsWiringOrWarns)
{
    ChannelSwitch sw;
    sw.attach(port);
    port.echo = true;
    const auto out = connect(exchange, port, {9, 5, 0, true}, op);
    EXPECT_TRUE(out.connected);
    EXPECT_EQ(out.channelType, 7);   // the line answered the probe: two wires

    ScriptedPort noSwitch(clock);
    noSwitch.status.cts = false;
    EXPECT_FALSE(connect(exchange, noSwitch, {9, 5, 0, true}, op).connected);
    EXPECT_EQ(op.messages, std::vector<std::string>{
                               "Не получено подтверждение номера канала. 5  Проверьте подключение коммутатора"});
}

TEST_F(LineControl, ConnectLeavesModemsToTheirDialogueAndCanToItsAdapter)
{
    EXPECT_FALSE(connect(exchange, port, {6, 0, 0, false}, op).connected);
    EXPECT_FALSE(connect(exchange, port, {8, 0, 0, false}, op, [] { return false; }).connected);
    EXPECT_TRUE(connect(exchange, port, {8, 0, 0, false}, op, [] { return true; }).connected);
    EXPECT_TRUE(connect(exchange, port, {11, 0, 0, false}, op).connected);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_TRUE(port.events.empty());
    EXPECT_TRUE(op.busyLog.empty());
}

TEST_F(LineControl, ReleaseAtEndIsOneTraditionalAttemptOnAddressedLines)
{
    exchange.state().networkNumber = 3;
    port.addTurn({0x05}, {0x04});
    port.addTurn({0x01, 0x0B, 0xF5}, {0x06});
    EXPECT_EQ(releaseAtEnd(exchange, port, 0), xr::Ok);
    EXPECT_EQ(port.sent, (Bytes{0x05, 0x01, 0x0B, 0xF5}));

    ScriptedPort silent(clock);
    startMs = clock.nowMs();
    EXPECT_EQ(releaseAtEnd(exchange, silent, 3), xr::NoAnswer);
    EXPECT_EQ(silent.sent, Bytes{0x05});   // one attempt, no pauses
    EXPECT_EQ(exchange.state().attemptCount, 3);

    ScriptedPort untouched(clock);
    EXPECT_EQ(releaseAtEnd(exchange, untouched, 6), xr::Ok);
    exchange.state().protocol = prot::Ft11;
    EXPECT_EQ(releaseAtEnd(exchange, untouched, 0), xr::Ok);
    exchange.state().protocol = prot::Traditional;
    exchange.state().networkNumber = 0;
    EXPECT_EQ(releaseAtEnd(exchange, untouched, 0), xr::Ok);
    EXPECT_TRUE(untouched.sent.empty());
}
