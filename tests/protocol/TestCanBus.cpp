#include <gtest/gtest.h>

#include <numeric>

#include "protocol/CanBus.h"
#include "protocol/CommandTestPort.h"
#include "sim/SimPort.h"

using namespace kv;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes bytesOf(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }

uint8_t sum8(std::span<const uint8_t> s) {
    return uint8_t(std::accumulate(s.begin(), s.end(), 0u));
}

} // namespace

// ---- adapter block ----------------------------------------------------------------------

TEST(CanInitBlock, DefaultsGiveZeroFiltersStandardMasksAndTiming) {
    const CanInitBlock b = makeCanInitBlock({});
    Bytes expected(24, 0x00);
    expected.insert(expected.end(), {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x02, 0xE0, 0x41, 0xDF});
    EXPECT_EQ(bytesOf(b), expected);
}

TEST(CanInitBlock, TakesTheConfiguredNumbersWithAnySeparators) {
    CanBusConfig c;
    c.acceptanceFilter = "1 2 3 4 5 6 7 8 9 A B C D E F 10 11 12 13 14 15 16 17 18";
    c.acceptanceMask = "$F0,$0F; 1-2-3 x4 5/6 7";   // more numbers than needed: the first 8 count
    c.cnf321 = "03 1C 1FF";                          // a number above FF keeps its low byte
    c.speedPc = 4;
    const CanInitBlock b = makeCanInitBlock(c);
    Bytes expected;
    for (int i = 1; i <= 24; ++i)
        expected.push_back(uint8_t(i));
    expected.insert(expected.end(), {0xF0, 0x0F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x03, 0x1C, 0x45});
    expected.push_back(uint8_t(-sum8(expected)));
    EXPECT_EQ(bytesOf(b), expected);
}

TEST(CanInitBlock, AnIncompleteValueGivesTheDefaultOfItsGroupAndTheSpeedAlwaysWins) {
    struct Case { CanBusConfig config; Bytes filters24to35; };
    const Case cases[] = {
        // two timing numbers only: default 02 E0, then the speed code of index 0 over byte 34
        {{"", "", "07 08", 0}, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0x02, 0xE0, 0x41}},
        // seven masks only: the whole mask group falls back
        {{"", "1 2 3 4 5 6 7", "11 22 33", 4}, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0x11, 0x22, 0x45}},
        // a complete timing value still loses byte 34 to the speed code
        {{"", "", "11 22 33", 14}, {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0x11, 0x22, 0x7B}},
    };
    for (const auto& c : cases) {
        const CanInitBlock b = makeCanInitBlock(c.config);
        EXPECT_EQ(Bytes(b.begin() + 24, b.begin() + 35), c.filters24to35) << c.config.cnf321;
        EXPECT_EQ(sum8(b), 0) << "the block sums to 0";
    }
    // 23 filter numbers are not enough either.
    const CanInitBlock b = makeCanInitBlock({"1 2 3 4 5 6 7 8 9 A B C D E F 10 11 12 13 14 15 16 17", "", "", 0});
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 24), Bytes(24, 0));
}

TEST(CanInitBlock, SpeedCodesFollowTheBusSpeedList) {
    const Bytes codes{0x41, 0x42, 0x43, 0x44, 0x45, 0x47, 0x49, 0x4B, 0x4E, 0x4F, 0x53, 0x57, 0x5D, 0x67, 0x7B};
    for (int i = 0; i < int(codes.size()); ++i) {
        EXPECT_EQ(canSpeedCode(i), codes[std::size_t(i)]) << i;
        EXPECT_EQ(makeCanInitBlock({"", "", "", i})[34], codes[std::size_t(i)]) << i;
    }
    EXPECT_EQ(canSpeedCode(15), 0x41);
    EXPECT_EQ(canSpeedCode(-1), 0x41);
}

// ---- the link -----------------------------------------------------------------------------

class CanLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.state().networkNumber = 5;
        engine.state().computerAddress = 0x1F;
        engine.state().attemptCount = 3;
    }
    int64_t elapsedMs() const { return clock.nowMs() - start; }

    sim::VirtualClock clock;
    int64_t start = clock.nowMs();
    NullEventPump pump;
    test::CommandTrace trace;
    Exchange engine{clock, pump, trace};
    CanLink can{engine};
    test::CommandTestPort port{clock};
};

TEST_F(CanLinkTest, AdapterInitialisationPulsesDtrSendsTheBlockAndWantsItsExactAnswer) {
    can.setInitBlock(makeCanInitBlock({"", "", "", 4}));
    EXPECT_TRUE(can.initAdapter(port));
    EXPECT_EQ(port.written, bytesOf(can.initBlock()));
    EXPECT_EQ(port.dtrChanges, (std::vector<int>{1, 0}));
    EXPECT_EQ(elapsedMs(), 200);
    EXPECT_TRUE(trace.lines.empty());

    for (Bytes answer : {Bytes{}, Bytes{0x30, 0x0A}, Bytes{0x30, 0x0D, 0x0A}, Bytes{0x0A, 0x0D, 0x30}}) {
        port.adapterAnswer = answer;
        EXPECT_FALSE(can.initAdapter(port)) << answer.size();
    }
    port.failWrites = true;
    port.adapterAnswer = {0x30, 0x0A, 0x0D};
    EXPECT_FALSE(can.initAdapter(port));
}

TEST_F(CanLinkTest, LineCheckReinitialisesOnlyWhenTheCarrierIsGone) {
    EXPECT_EQ(can.lineCheck(port), 0);
    EXPECT_TRUE(port.written.empty());

    port.status.rlsd = false;
    EXPECT_EQ(can.lineCheck(port), 0);
    EXPECT_EQ(port.initBlocks, 1);

    port.adapterAnswer.clear();
    EXPECT_EQ(can.lineCheck(port), 46);
}

TEST_F(CanLinkTest, ReadFrameGoldenBytesAndTrace) {
    port.canValues[0x4000] = {0x12, 0x34};
    Bytes out(2);
    ASSERT_EQ(can.readFrames(port, 0x4000, out), 0);
    EXPECT_EQ(out, (Bytes{0x12, 0x34}));
    ASSERT_EQ(port.canFrames.size(), 1u);
    EXPECT_EQ(port.canFrames[0], (Bytes{0x05, 0x20, 0x00, 0x00, 0x04, 0x1F, 0x02, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(trace.lines, (std::vector<std::string>{
                               ">> 05 20 00 00 04 1F 02 00 40 00 00 00 00 ",
                               "<< 05 21 00 00 53 00 12 34 00 00 00 00 00 "}));
}

TEST_F(CanLinkTest, ReplyFrameComesBackWithTheCountNibbleOnly) {
    port.canValues[0x1234] = {1, 2, 3, 4};
    CanFrame request = makeCanFrame(5, kCanKindFirstRead, 0x1F, kCanFnRead, 0x34, 0x12);
    CanFrame reply{};
    ASSERT_EQ(can.exchangeFrame(port, request, 4, reply), 0);
    EXPECT_EQ(bytesOf(reply), (Bytes{0x05, 0x21, 0, 0, 0x05, 0, 1, 2, 3, 4, 0, 0, 0}));
    EXPECT_EQ(request[1], 0x20);
}

TEST_F(CanLinkTest, SequenceTagRunsFrom20ToC0AndStartsAgain) {
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(can.controlFrame(port, 1), 0);
    Bytes tags;
    for (const auto& f : port.canFrames)
        tags.push_back(f[1]);
    EXPECT_EQ(tags, (Bytes{0x20, 0x40, 0x60, 0x80, 0xA0, 0xC0, 0x20, 0x40}));
}

TEST_F(CanLinkTest, LongReadGoesInFramesOfFourAndLeavesStorageBeyondAlone) {
    port.canValues[0x4032] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Bytes storage(12, 0xEE);
    ASSERT_EQ(can.readFrames(port, 0x4032, std::span(storage).first(10)), 0);
    EXPECT_EQ(storage, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xEE, 0xEE}));
    ASSERT_EQ(port.canFrames.size(), 3u);
    EXPECT_EQ(port.canFrames[0], (Bytes{0x05, 0x20, 0, 0, 0x04, 0x1F, 0x02, 0x32, 0x40, 0, 0, 0, 0}));
    EXPECT_EQ(port.canFrames[1], (Bytes{0x05, 0x40, 0, 0, 0x02, 0x1F, 0x01, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(port.canFrames[2], (Bytes{0x05, 0x60, 0, 0, 0x02, 0x1F, 0x01, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CanLinkTest, FailedFrameInsideAReadDeliversNothing) {
    port.canValues[0x4032] = {1, 2, 3, 4};   // the controller runs out after one frame
    engine.state().attemptCount = 1;
    Bytes out(10, 0xEE);
    EXPECT_EQ(can.readFrames(port, 0x4032, out), 43);
    EXPECT_EQ(out, Bytes(10, 0xEE));
}

TEST_F(CanLinkTest, FrameFaultsGiveTheirCodesAfterEveryAttempt) {
    struct Case {
        const char* name;
        std::function<void(test::CommandTestPort&)> fault;
        ExchangeResult result;
        std::size_t frames;   // frames that reached the controller
        int64_t ms;           // virtual time the three attempts took
    };
    const Case cases[] = {
        // a reply taken whole but wrong: before each retry one read time-out to let the line fall quiet
        {"tag", [](auto& p) { p.tagFlip = 0x20; }, 42, 3, 2 * 10},
        {"count", [](auto& p) { p.countNibble = 3; }, 43, 3, 2 * 10},
        {"silence", [](auto& p) { p.canSilent = true; }, 41, 3, 3 * 2000},
        {"write", [](auto& p) { p.failWrites = true; }, 8, 0, 0},
        // each attempt re-initialises: 2 x 100 ms DTR, then 1000 ms for the missing answer
        {"carrier", [](auto& p) { p.status.rlsd = false; p.adapterAnswer.clear(); }, 46, 0, 3 * 1200},
    };
    for (const auto& c : cases) {
        sim::VirtualClock clk;
        test::CommandTrace tr;
        Exchange eng(clk, pump, tr);
        eng.state().attemptCount = 3;
        CanLink link(eng);
        test::CommandTestPort p(clk);
        p.canValues[0x4000] = {1, 2, 3};
        c.fault(p);
        const int64_t t0 = clk.nowMs();
        Bytes out(3, 0xEE);
        EXPECT_EQ(link.readFrames(p, 0x4000, out), c.result) << c.name;
        EXPECT_EQ(p.canFrames.size(), c.frames) << c.name;
        EXPECT_EQ(out, Bytes(3, 0xEE)) << c.name;
        EXPECT_EQ(clk.nowMs() - t0, c.ms) << c.name;
    }
}

// Noise before the adapter's first reply: that attempt takes the noise and the head of the
// reply as its 13 bytes and fails on the tag; the rest of the reply, still arriving, must not
// become the head of the next reply.
TEST(CanLinkOnTheLine, NoisyAttemptIsFollowedByACleanRetry) {
    sim::VirtualClock clock;
    sim::StationOptions o;
    o.controller.model = 3;
    o.controller.networkNumber = 4;
    o.channelType = 11;
    sim::Station station(clock, o);
    auto line = station.openLine();
    line->setParams({9600, 8, Parity::None, 1, false});
    NullEventPump pump;
    test::CommandTrace trace;
    Exchange engine(clock, pump, trace);
    engine.state().networkNumber = 4;
    engine.state().attemptCount = 3;
    CanLink can(engine);
    ASSERT_TRUE(can.initAdapter(*line));

    station.faults().once(sim::Fault::GarbageBeforeFrame);
    Bytes version(2);
    ASSERT_EQ(can.readFrames(*line, 0x401E, version), 0);
    EXPECT_EQ(version, (Bytes{0x08, 0x03}));
    EXPECT_EQ(station.faults().hits(sim::Fault::GarbageBeforeFrame), 1);
    ASSERT_EQ(trace.lines.size(), 4u);   // two attempts
    EXPECT_EQ(trace.lines[1].substr(0, 12), "<< 55 1A 5A ");

    // Later frames line up again: a value of several frames.
    Bytes record(128);
    EXPECT_EQ(can.readFrames(*line, 0x4032, record), 0);
}

TEST_F(CanLinkTest, NothingSentOrReceivedLeavesBareTraceLines) {
    engine.state().attemptCount = 1;
    port.failWrites = true;
    EXPECT_EQ(can.controlFrame(port, 0), 8);
    port.failWrites = false;
    port.canSilent = true;
    EXPECT_EQ(can.controlFrame(port, 0), 41);
    EXPECT_EQ(trace.lines, (std::vector<std::string>{">> ", "<< ", ">> 05 40 00 00 03 1F 05 00 00 00 00 00 00 ", "<< "}));
}

TEST_F(CanLinkTest, PendingCancelEndsAtOnceWithoutLineActivity) {
    int asked = 0;
    can.setCancelRequest([&] { return ++asked > 0; });
    Bytes out(2);
    EXPECT_EQ(can.readFrames(port, 0x4000, out), 9);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(CanLinkTest, CarrierLossReinitialisesBeforeTheFrame) {
    port.status.rlsd = false;
    port.canValues[0x4000] = {7, 8};
    Bytes out(2);
    EXPECT_EQ(can.readFrames(port, 0x4000, out), 0);
    EXPECT_EQ(port.initBlocks, 1);
    EXPECT_EQ(out, (Bytes{7, 8}));
}

TEST_F(CanLinkTest, ControlFrameTakesACountMismatchAsSuccess) {
    EXPECT_EQ(can.controlFrame(port, 3), 0);
    EXPECT_EQ(port.canFrames.back(), (Bytes{0x05, 0x20, 0, 0, 0x03, 0x1F, 0x05, 0x03, 0, 0, 0, 0, 0}));
    // An answer without the data byte is retried like any mismatch, then taken as done.
    port.countNibble = 1;
    EXPECT_EQ(can.controlFrame(port, 2), 0);
    EXPECT_EQ(port.canFrames.size(), 1u + 3u);
    port.countNibble.reset();
    port.tagFlip = 0x20;
    EXPECT_EQ(can.controlFrame(port, 1), 42);
}

// ---- the gateway forms (channel type 12) through the engine ----------------------------

TEST(CanGatewayBodies, ReadAndControlBodiesPerProtocol) {
    EXPECT_EQ(bytesOf(gatewayReadBody(0, 0x4032)), (Bytes{0x11, 0x32, 0x40, 0x04}));
    EXPECT_EQ(bytesOf(gatewayReadBody(1, 0x4032)), (Bytes{0x11, 0x00, 0x32, 0x40}));
    EXPECT_EQ(bytesOf(gatewayReadBody(2, 0xF017)), (Bytes{0x11, 0x00, 0x17, 0xF0}));
    EXPECT_EQ(bytesOf(gatewayControlBody(3)), (Bytes{0x14, 0x03, 0x00, 0x05, 0x03}));
}

TEST_F(CanLinkTest, GatewayCarriesShortValuesAndLongerOnesGoAsFrames) {
    // Up to 4 bytes: one gateway read, of which the caller's bytes are kept.
    port.canValues[0x4015] = {0x12, 0x30, 0x77, 0x77};
    Bytes word(2, 0xEE);
    ASSERT_EQ(can.read(port, 12, 0x4015, word), 0);
    EXPECT_EQ(word, (Bytes{0x12, 0x30}));
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x11, 0x15, 0x40, 0x04}}));
    EXPECT_TRUE(port.canFrames.empty());

    // Longer: the number byte is no offset, so the value comes in frames with continuations.
    port.bodies.clear();
    port.canValues[0x4032] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Bytes storage(12, 0xEE);
    ASSERT_EQ(can.read(port, 12, 0x4032, std::span(storage).first(10)), 0);
    EXPECT_EQ(storage, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xEE, 0xEE}));
    EXPECT_EQ(port.canFrames.size(), 3u);
    EXPECT_TRUE(port.bodies.empty());
}

TEST_F(CanLinkTest, GatewayFailureDeliversNothing) {
    port.receipt = test::CommandTestPort::Receipt::Negative;
    engine.state().attemptCount = 1;
    Bytes out(2, 0xEE);
    EXPECT_EQ(can.read(port, 12, 0x4000, out), 3);
    EXPECT_EQ(out, Bytes(2, 0xEE));
}

TEST_F(CanLinkTest, ControlGoesAsFrameOnType11AndAsGatewayBodyOnType12) {
    EXPECT_EQ(can.control(port, 11, 1), 0);
    EXPECT_EQ(port.canFrames.size(), 1u);
    EXPECT_TRUE(port.bodies.empty());
    EXPECT_EQ(can.control(port, 12, 1), 0);
    EXPECT_EQ(port.canFrames.size(), 1u);
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x14, 0x03, 0x00, 0x05, 0x01}}));
}
