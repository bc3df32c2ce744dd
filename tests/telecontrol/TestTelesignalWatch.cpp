// The telesignal watch against the simulated controller: which buffers it reads, how it
// judges the described bits, when it polls, the lamp, the sound and failed reads.
#include <gtest/gtest.h>

#include <memory>

#include "protocol/LineControl.h"
#include "sim/SimPort.h"
#include "telecontrol/TelesignalWatch.h"

using namespace kv;
using Buffer = sim::Controller::Buffer;

namespace {

// What the online view would do with the watch's calls, recorded.
class RecordingHost final : public TelesignalHost {
public:
    SerialPort* port() override { return port_; }
    int channelType() const override { return type; }
    int switchChannel() const override { return 5; }
    bool pollAllowed() const override { return allowed; }
    void setPollAllowed(bool a) override
    {
        allowed = a;
        if (!a)
            ++polls;
    }
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void setBusy(bool busy) override { busy ? ++busyOn : --busyOn, busyEver |= busy; }
    void renewRedialDeadline() override { ++renewals; }
    void debugMark(const std::string& m) override { marks.push_back(m); }
    void drawSignalLamp(int state) override { lamps.push_back(state); }
    bool soundOn() const override { return sound; }
    void playSound(int file) override { played.push_back(file); }

    SerialPort* port_ = nullptr;
    int type = 0;
    bool allowed = true;
    bool sound = true;
    int polls = 0, renewals = 0, busyOn = 0;
    bool busyEver = false;
    std::vector<std::string> statuses, marks;
    std::vector<int> lamps, played;
};

BitSignal describe(uint8_t kind, uint8_t bit, uint8_t normal, uint8_t side = 0)
{
    BitSignal s;
    s.name = "Сигнал " + std::to_string(bit);
    s.kind = kind;
    s.bit = bit;
    s.normal = normal;
    s.side = side;
    return s;
}

struct Line {
    const char* name;
    int channelType;
    sim::Protocol protocol;
    uint8_t prot;   // the engine's protocol setting
};

void PrintTo(const Line& l, std::ostream* os) { *os << l.name; }

// A simulated controller on a line, and the watch over a description table.
class Rig {
public:
    explicit Rig(Line line = {"Rs 232", 0, sim::Protocol::Traditional, 0})
        : exchange(clock, pump, trace), can(exchange), cmds(exchange, can), watch(cmds, clock, table)
    {
        sim::StationOptions o;
        o.controller.model = line.channelType >= 11 ? 3 : 0;
        o.responder.protocol = line.protocol;
        o.channelType = line.channelType;
        o.switchChannel = 5;
        opener = std::make_unique<sim::SimPortOpener>(o, &clock);
        exchange.state().protocol = line.prot;
        exchange.state().attemptCount = 1;
        can.setInitBlock(makeCanInitBlock({}));
        port = openLine(*opener, "Com1", 5, line.channelType, exchange,
                        [this](SerialPort& sp) { return can.initAdapter(sp); });
        if (line.prot == 1)
            exchange.probeFrameCounter(*port, line.channelType);
        host.port_ = port.get();
        host.type = line.channelType;
    }

    sim::Controller& ctl() { return opener->station().controller(); }
    sim::Faults& faults() { return opener->station().faults(); }

    sim::VirtualClock clock;
    NullEventPump pump;
    NullTraceLog trace;
    Exchange exchange;
    CanLink can;
    Commands cmds;
    BitSignalTable table;
    TelesignalWatch watch;
    std::unique_ptr<sim::SimPortOpener> opener;
    std::unique_ptr<SerialPort> port;
    RecordingHost host;
};

} // namespace

TEST(TelesignalWatch, StartSelectsTheBuffersTheDescriptionsName)
{
    Rig r;
    r.table.append(describe(0x11, 0, 0));   // output buffer 1
    r.table.append(describe(0x21, 0, 0));   // indication buffer 1
    r.table.append(describe(0x03, 0, 0));   // input buffer 3
    r.table.append(describe(0x45, 0, 0));   // no such buffer: selects nothing
    r.watch.start(10);
    EXPECT_TRUE(r.watch.shown());
    EXPECT_EQ(r.watch.selection(), (1u << 5) | (1u << 9) | (1u << 3));
    EXPECT_EQ(r.watch.countdown(), 1);
    EXPECT_EQ(r.watch.lampState(), kLampOff);
    EXPECT_FALSE(r.watch.signalsRead());
    for (uint8_t s : r.watch.states())
        EXPECT_EQ(s, kSignalNotEvaluated);
}

TEST(TelesignalWatch, WithoutDescriptionsItIsHiddenAndNeverTouchesTheLine)
{
    Rig r;
    r.watch.start(10);
    EXPECT_FALSE(r.watch.shown());
    EXPECT_EQ(r.watch.countdown(), 0);
    const double before = r.clock.now();
    for (int i = 0; i < 30; ++i)
        r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 0);
    EXPECT_EQ(r.clock.now(), before);
}

TEST(TelesignalWatch, EachDescriptionIsJudgedAgainstItsOwnBuffer)
{
    Rig r;
    r.table.append(describe(0x00, 10, 1));   // input 0, byte 1 bit 2, normally set
    r.table.append(describe(0x11, 63, 0));   // output 1, last bit, normally clear
    r.table.append(describe(0x21, 0, 1));    // indication 1, first bit, normally set
    r.table.append(describe(0x00, 11, 0, 1));   // the other side: never judged here
    r.ctl().setBit(Buffer::Input, 0, 10, true);
    r.ctl().setBit(Buffer::Output, 1, 63, true);   // alarm
    r.ctl().setBit(Buffer::Indication, 1, 0, true);
    r.ctl().setBit(Buffer::Output, 0, 63, false);  // a neighbouring buffer does not matter
    r.watch.start(10);

    r.watch.pollSignals(r.host);
    EXPECT_TRUE(r.watch.signalsRead());
    EXPECT_EQ(r.watch.states()[0], kSignalNormal);
    EXPECT_EQ(r.watch.states()[1], kSignalAlarm);
    EXPECT_EQ(r.watch.states()[2], kSignalNormal);
    EXPECT_EQ(r.watch.states()[3], kSignalNotEvaluated);
    EXPECT_EQ(r.watch.lampState(), kLampAlarm);
    EXPECT_EQ(r.host.played, std::vector<int>{3});
    EXPECT_EQ(r.host.renewals, 3);
    EXPECT_EQ(r.host.marks, (std::vector<std::string>{"F+ TCId1", "T TCId1"}));
    EXPECT_TRUE(r.host.allowed);

    r.ctl().setBit(Buffer::Input, 0, 10, false);
    r.ctl().setBit(Buffer::Output, 1, 63, false);
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.watch.states()[0], kSignalAlarm);
    EXPECT_EQ(r.watch.states()[1], kSignalNormal);
}

TEST(TelesignalWatch, PollsOnTheFirstTickAndThenEveryPeriod)
{
    Rig r;
    r.table.append(describe(0x00, 1, 0));
    r.watch.start(5);
    r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 1);
    EXPECT_EQ(r.watch.countdown(), 5);
    for (int i = 0; i < 4; ++i)
        r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 1);
    r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 2);

    // A late tick counts all its units; a poll that is due waits for the poll-allowed flag.
    r.watch.tickStep(3, r.host);
    EXPECT_EQ(r.watch.countdown(), 2);
    r.host.allowed = false;
    r.watch.tickStep(3, r.host);
    EXPECT_EQ(r.host.polls, 2);
    r.host.allowed = true;
    r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 3);

    // "Телеуправление" asks for a poll on the next tick.
    r.watch.pollSoon();
    r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 4);
}

TEST(TelesignalWatch, LongPeriodsAreKeptAsGiven)
{
    Rig r;
    r.table.append(describe(0x00, 1, 0));
    r.watch.start(200);
    r.watch.tickStep(1, r.host);
    for (int i = 0; i < 199; ++i)
        r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 1);
    r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 2);
}

TEST(TelesignalWatch, PeriodZeroSwitchesTheWatchOff)
{
    Rig r;
    r.table.append(describe(0x00, 1, 0));
    r.watch.start(0);
    EXPECT_TRUE(r.watch.shown());
    for (int i = 0; i < 10; ++i)
        r.watch.tickStep(1, r.host);
    EXPECT_EQ(r.host.polls, 0);
}

TEST(TelesignalWatch, LampAndSoundFollowTheAlarms)
{
    Rig r;
    r.table.append(describe(0x00, 0, 0));
    r.table.append(describe(0x00, 1, 0));
    r.watch.start(1);

    // All normal: green at once, then only redrawn.
    r.watch.pollSignals(r.host);
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.host.lamps, (std::vector<int>{kLampNormal, kLampNormal}));
    EXPECT_TRUE(r.host.played.empty());

    // An alarm that stays: red, and the sound on every poll while the sound is on.
    r.ctl().setBit(Buffer::Input, 0, 1, true);
    for (int i = 0; i < 3; ++i)
        r.watch.pollSignals(r.host);
    EXPECT_EQ(r.watch.lampState(), kLampAlarm);
    EXPECT_EQ(r.host.played, (std::vector<int>{3, 3, 3}));
    r.host.sound = false;
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.host.played.size(), 3u);

    // Gone: green again, silently.
    r.host.sound = true;
    r.ctl().setBit(Buffer::Input, 0, 1, false);
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.watch.lampState(), kLampNormal);
    EXPECT_EQ(r.host.played.size(), 3u);
    EXPECT_EQ(r.host.lamps.back(), kLampNormal);
}

TEST(TelesignalWatch, AFailedReadKeepsStatesAndSkipsTheFollowingSeries)
{
    Rig r;
    r.table.append(describe(0x00, 0, 0));   // input 0
    r.table.append(describe(0x10, 0, 0));   // output 0
    r.table.append(describe(0x20, 0, 0));   // indication 0
    r.watch.start(1);
    r.watch.pollSignals(r.host);
    ASSERT_EQ(r.watch.lampState(), kLampNormal);

    // The input buffer changes, but its read fails: nothing is judged from stale bytes, and
    // the outputs and indications are not read on this poll.
    r.ctl().setBit(Buffer::Input, 0, 0, true);
    r.ctl().setBit(Buffer::Output, 0, 0, true);
    r.faults().always(sim::Fault::NoAnswer);
    r.watch.pollSignals(r.host);
    ASSERT_EQ(r.host.statuses.size(), 1u);
    EXPECT_EQ(r.host.statuses[0], std::string(kInputBufferText) + exchangeMessage(xr::NoAnswer));
    EXPECT_EQ(r.watch.states()[0], kSignalNormal);
    EXPECT_EQ(r.watch.states()[1], kSignalNormal);
    EXPECT_EQ(r.watch.lampState(), kLampNormal);
    EXPECT_TRUE(r.host.allowed);

    r.faults().clear(sim::Fault::NoAnswer);
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.watch.states()[0], kSignalAlarm);
    EXPECT_EQ(r.watch.states()[1], kSignalAlarm);
    EXPECT_EQ(r.watch.states()[2], kSignalNormal);
}

TEST(TelesignalWatch, UnreadDescriptionsCountAsAlarmUntilJudged)
{
    Rig r;
    r.table.append(describe(0x00, 0, 0));
    BitSignal damaged = describe(0x00, 200, 0);   // a bit beyond the buffer
    r.table.append(damaged);
    r.watch.start(1);
    r.watch.pollSignals(r.host);
    EXPECT_EQ(r.watch.states()[0], kSignalNormal);
    EXPECT_EQ(r.watch.states()[1], kSignalNotEvaluated);
    EXPECT_EQ(r.watch.lampState(), kLampAlarm);
}

TEST(TelesignalWatch, OnlyLongPeriodsShowTheHourglass)
{
    for (int period : {4, 5}) {
        Rig r;
        r.table.append(describe(0x00, 0, 0));
        r.watch.start(period);
        r.watch.pollSignals(r.host);
        EXPECT_EQ(r.host.busyEver, period >= 5) << period;
        EXPECT_EQ(r.host.busyOn, 0);
    }
}

class TelesignalLines : public ::testing::TestWithParam<Line> {};

TEST_P(TelesignalLines, ReadsTheBuffersOnEveryLineKind)
{
    Rig r(GetParam());
    r.table.append(describe(0x01, 33, 1));   // input 1
    r.table.append(describe(0x12, 7, 0));    // output 2
    r.table.append(describe(0x23, 60, 1));   // indication 3
    r.ctl().setBit(Buffer::Input, 1, 33, true);
    r.ctl().setBit(Buffer::Output, 2, 7, true);
    r.ctl().setBit(Buffer::Indication, 3, 60, true);
    r.watch.start(10);
    r.watch.tickStep(1, r.host);
    EXPECT_TRUE(r.host.statuses.empty()) << r.host.statuses.front();
    EXPECT_EQ(r.watch.states()[0], kSignalNormal);
    EXPECT_EQ(r.watch.states()[1], kSignalAlarm);
    EXPECT_EQ(r.watch.states()[2], kSignalNormal);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TelesignalLines,
    ::testing::Values(Line{"Rs 232 traditional", 0, sim::Protocol::Traditional, 0},
                      Line{"two-wire current loop FT1.2", 2, sim::Protocol::Ft12, 1},
                      Line{"channel switch FT1.1", 7, sim::Protocol::Ft11, 2},
                      Line{"CAN adapter", 11, sim::Protocol::Traditional, 0}),
    [](const auto& info) { return std::to_string(info.index); });
