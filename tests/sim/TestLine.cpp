#include <gtest/gtest.h>

#include "sim/Line.h"
#include "sim/VirtualClock.h"

namespace kv::sim {
namespace {

// A far end that keeps what it hears and answers each byte with a scripted reply.
struct Probe final : LineDevice {
    void onByte(const WireByte& b, OutputSink& out) override
    {
        heard.push_back(b);
        if (!answer.empty())
            out.emit(answer, b.atUs + delayUs);
    }
    void onControl(const ControlLines& l, int64_t) override { controls.push_back(l); }
    std::vector<WireByte> heard;
    std::vector<ControlLines> controls;
    std::vector<uint8_t> answer;
    int64_t delayUs = 0;
};

struct LineTest : ::testing::Test {
    void make(LineOptions o = {}, LineParams p = {9600, 8, Parity::None, 2, false})
    {
        probe = std::make_shared<Probe>();
        faults = std::make_shared<Faults>();
        line = std::make_unique<Line>(clock, probe, o, faults);
        line->setParams(p);
    }
    int send(std::vector<uint8_t> b) { return line->write(b.data(), int(b.size())); }

    VirtualClock clock;
    std::shared_ptr<Probe> probe;
    std::shared_ptr<Faults> faults;
    std::unique_ptr<Line> line;
};

TEST_F(LineTest, BytesTakeTheirFrameTimeAtTheSetSpeed)
{
    struct Case {
        int baud;
        Parity parity;
        int stop;
        int count;
        int64_t us;
    };
    const Case cases[] = {
        {9600, Parity::None, 2, 10, 11459},    // 10 x 11 bits: 11.4583 ms
        {300, Parity::None, 1, 1, 33334},      // 10 bits
        {115200, Parity::Even, 1, 100, 9549},  // 100 x 11 bits
        {1200, Parity::Mark, 1, 3, 27500},     // 3 x 11 bits
        {19200, Parity::Space, 2, 2, 1250},    // 2 x 12 bits
    };
    for (const Case& c : cases) {
        make({}, {c.baud, 8, c.parity, c.stop, false});
        const int64_t t0 = clock.nowUs();
        ASSERT_EQ(send(std::vector<uint8_t>(std::size_t(c.count), 0x55)), c.count);
        EXPECT_EQ(clock.nowUs() - t0, c.us) << c.baud << " baud";
        ASSERT_EQ(probe->heard.size(), std::size_t(c.count));
        EXPECT_EQ(probe->heard.back().atUs - t0, c.us);
        EXPECT_EQ(probe->heard.back().baud, c.baud);
    }
}

TEST_F(LineTest, ReadEndsWhenTheLastAskedByteArrivesOrAtTheTimeout)
{
    make();
    probe->answer = {0x04, 0x06};
    probe->delayUs = 5000;
    line->setTimeouts(1000, 0);
    ASSERT_EQ(send({0x05}), 1);
    const int64_t sent = clock.nowUs();
    uint8_t buf[8];
    ASSERT_EQ(line->read(buf, 2), 2);
    EXPECT_EQ(buf[0], 0x04);
    EXPECT_EQ(buf[1], 0x06);
    // The reply starts 5 ms after the request and its two bytes take 2 x 11 bits at 9600.
    EXPECT_EQ(clock.nowUs() - sent, 5000 + 2292);

    const int64_t t = clock.nowUs();
    EXPECT_EQ(line->read(buf, 1), 0);
    EXPECT_EQ(clock.nowUs() - t, 1000000);
}

TEST_F(LineTest, PartialReadReturnsWhatCameWithinTheTimeout)
{
    make();
    probe->answer = {1, 2, 3};
    line->setTimeouts(200, 0);
    send({0x05});
    uint8_t buf[8];
    const int64_t t = clock.nowUs();
    EXPECT_EQ(line->read(buf, 8), 3);
    EXPECT_EQ(clock.nowUs() - t, 200000);
}

TEST_F(LineTest, TwoWireTypesEchoWhatIsSent)
{
    for (int type = 0; type <= 12; ++type) {
        make(lineOptionsFor(type));
        line->setTimeouts(50, 0);
        send({0xFF, 0x12});
        uint8_t buf[4];
        const int n = line->read(buf, 4);
        if (type == 2 || type == 7) {
            ASSERT_EQ(n, 2) << "type " << type;
            EXPECT_EQ(buf[0], 0xFF);
            EXPECT_EQ(buf[1], 0x12);
        } else {
            EXPECT_EQ(n, 0) << "type " << type;
        }
    }
}

TEST_F(LineTest, TheFarEndSeesTheNinthBitOfEachByte)
{
    struct Case {
        Parity p;
        uint8_t b;
        bool ninth;
    };
    const Case cases[] = {
        {Parity::Mark, 0x05, true},  {Parity::Space, 0x05, false}, {Parity::Even, 0x05, false},
        {Parity::Even, 0x07, true},  {Parity::Odd, 0x05, true},    {Parity::Odd, 0x07, false},
        {Parity::None, 0x00, true},  // the first stop bit
    };
    for (const Case& c : cases) {
        make({}, {9600, 8, c.p, 1, false});
        send({c.b});
        ASSERT_EQ(probe->heard.size(), 1u);
        EXPECT_EQ(probe->heard[0].ninthBit, c.ninth) << int(c.p) << " " << int(c.b);
        EXPECT_EQ(line->sent()[0].ninthBit, c.ninth);
    }
}

TEST_F(LineTest, DiscardDropsOnlyWhatHasArrived)
{
    make();
    probe->answer = {0xAA};
    probe->delayUs = 20000;
    send({0x01});
    line->discardInput();            // the answer is still on its way
    uint8_t b;
    EXPECT_EQ(line->read(&b, 1), 1);
    send({0x01});
    clock.advanceMs(100);
    line->discardInput();            // this one had arrived
    line->setTimeouts(100, 0);
    EXPECT_EQ(line->read(&b, 1), 0);
}

TEST_F(LineTest, WriteFailureAndVanishedPortAreReportedAsFailures)
{
    make();
    faults->once(Fault::WriteFailure);
    EXPECT_EQ(send({1}), -1);
    EXPECT_TRUE(probe->heard.empty());
    EXPECT_EQ(send({1}), 1);

    faults->always(Fault::PortGone);
    uint8_t b;
    EXPECT_EQ(send({1}), -1);
    EXPECT_EQ(line->read(&b, 1), -1);
    EXPECT_FALSE(line->setParams({}));
    EXPECT_FALSE(line->setDtr(true));
    const ModemStatus s = line->modemStatus();
    EXPECT_FALSE(s.cts || s.dsr || s.rlsd);
    faults->clear(Fault::PortGone);
    EXPECT_EQ(send({1}), 1);
}

// Drives the switch as the program does: eight bits on break and RTS with DTR off, a DTR
// latch, then eight bits read back on CTS with a break pulse after each.
int selectChannel(Line& line, VirtualClock& clock, uint8_t channel)
{
    line.setRts(false);
    line.setDtr(false);
    for (int i = 7; i >= 0; --i) {
        line.setBreak(((channel >> i) & 1) == 0);
        line.setRts(true);
        line.setRts(false);
    }
    line.setBreak(false);
    line.setDtr(true);
    line.setRts(true);
    line.setDtr(false);
    int back = 0;
    for (int i = 0; i < 8; ++i) {
        clock.sleepMs(2);
        back = back << 1 | (line.modemStatus().cts ? 1 : 0);
        line.setBreak(true);
        line.setBreak(false);
    }
    line.setDtr(true);
    return back;
}

TEST_F(LineTest, ChannelSwitchConfirmsTheSelectedChannelOnCtsAndConnectsIt)
{
    for (int type : {7, 9}) {
        make(lineOptionsFor(type, 5));
        probe->answer = {0x04};
        line->setTimeouts(50, 0);
        uint8_t b;
        send({0x05});
        EXPECT_EQ(line->read(&b, 1), type == 7 ? 1 : 0) << "only the echo before selection";
        line->discardInput();

        EXPECT_EQ(selectChannel(*line, clock, 3), 3);
        EXPECT_EQ(line->switchSelected(), 3);
        probe->heard.clear();
        send({0x05});
        EXPECT_TRUE(probe->heard.empty()) << "channel 3 is not the controller's";

        EXPECT_EQ(selectChannel(*line, clock, 5), 5);
        line->discardInput();
        send({0x05});
        ASSERT_EQ(probe->heard.size(), 1u);
        std::vector<uint8_t> got(4);
        const int n = line->read(got.data(), 4);
        got.resize(std::size_t(n));
        const std::vector<uint8_t> expect = type == 7 ? std::vector<uint8_t>{0x05, 0x04}
                                                      : std::vector<uint8_t>{0x04};
        EXPECT_EQ(got, expect);
    }
}

TEST_F(LineTest, SilentSwitchNeverConfirms)
{
    LineOptions o = lineOptionsFor(9, 5);
    o.switchAnswers = false;
    make(o);
    EXPECT_EQ(selectChannel(*line, clock, 5), 0);
}

TEST_F(LineTest, ModemLinesAnswerAsTheEquipmentDoes)
{
    make(lineOptionsFor(4));
    line->setRts(true);
    EXPECT_TRUE(line->modemStatus().cts);
    EXPECT_TRUE(line->modemStatus().dsr);
    line->setParams({300, 8, Parity::None, 2, false});
    EXPECT_FALSE(line->modemStatus().cts) << "the 300-baud modem drops CTS";
    line->setModemPower(false);
    EXPECT_FALSE(line->modemStatus().dsr);
}

TEST_F(LineTest, BytesAtAnotherSpeedArriveAsNonsense)
{
    struct Fixed final : LineDevice {
        void onByte(const WireByte& b, OutputSink& out) override { out.emit({{b.value}}, b.atUs); }
        int baud() const override { return 9600; }
    };
    auto dev = std::make_shared<Fixed>();
    Line l(clock, dev);
    l.setParams({9600, 8, Parity::None, 2, false});
    l.setTimeouts(50, 0);
    uint8_t b = 0x05, r = 0;
    l.write(&b, 1);
    ASSERT_EQ(l.read(&r, 1), 1);
    EXPECT_EQ(r, 0x05);
    l.setParams({1200, 8, Parity::None, 2, false});
    l.write(&b, 1);
    ASSERT_EQ(l.read(&r, 1), 1);
    EXPECT_NE(r, 0x05);
}

} // namespace
} // namespace kv::sim
