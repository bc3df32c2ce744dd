// FT1.2: short and long frames, sum or CRC trailers, receipts, frame counter and its probe.
#include <gtest/gtest.h>

#include "ScriptedPort.h"

using namespace kv;
using namespace kv::test;

namespace {

const Bytes kRead{0x01, 0x40, 0x15};
const Bytes kReadFrame{0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9B, 0x16};
// C = 0, A = 5, data 14 18 00 00, KS, end.
const Bytes kReply{0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x31, 0x16};

Bytes withByte(Bytes b, std::size_t i, uint8_t v)
{
    b[i] = v;
    return b;
}

void answerEachAttempt(ScriptedPort& p, const Bytes& reply, const Bytes& frame = kReadFrame)
{
    for (int i = 0; i < 3; ++i)
        p.addTurn(frame, reply);
}

} // namespace

class Ft12 : public EngineTest {
protected:
    void SetUp() override
    {
        exchange.state().protocol = prot::Ft12;
        exchange.state().networkNumber = 5;
    }
};

TEST_F(Ft12, ShortRequestAndShortReply)
{
    port.addTurn(kReadFrame, kReply);
    EXPECT_EQ(run(kRead, 2), xr::Ok);
    EXPECT_TRUE(port.mismatches.empty());
    // Sent as start, user data and trailer.
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[0].bytes, Bytes{0x10});
    EXPECT_EQ(port.writes[2].bytes, (Bytes{0x9B, 0x16}));
    EXPECT_EQ(replyHead(3), (Bytes{0x14, 0x18, 0xCC}));
    EXPECT_EQ(trace.lines, (std::vector<std::string>{">>10 40 05 01 40 15 00 9B 16",
                                                     "<<10 00 05 14 18 00 00 31 16"}));
    EXPECT_EQ(pump.count, 2);
    EXPECT_EQ(elapsedMs(), 15);
}

TEST_F(Ft12, LongReplyDeliversItsData)
{
    port.addTurn(kReadFrame, {0x68, 0x0C, 0x0C, 0x68, 0x00, 0x05, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                              0x3C, 0x16});
    EXPECT_EQ(run(kRead, 10), xr::Ok);
    EXPECT_EQ(replyHead(11), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xCC}));
}

TEST_F(Ft12, BareReceiptsEndTheExchangeAtOnce)
{
    port.addTurn(kReadFrame, {0xA2});
    EXPECT_EQ(run(kRead, 2), xr::PositiveReceipt);
    port.addTurn(kReadFrame, {0xA2});
    EXPECT_EQ(run(kRead, 0), xr::Ok);   // nothing wanted but the receipt
    port.addTurn(kReadFrame, {0xE5});
    EXPECT_EQ(run(kRead, 0), xr::NegativeFtReceipt);
    EXPECT_EQ(traceCount(">>"), 3);
}

struct Ft12Fault {
    const char* name;
    std::function<void(ScriptedPort&)> script;
    ExchangeResult result;
    int attempts;
    int64_t ms;
};

// Failure messages name the case, not its bytes.
void PrintTo(const Ft12Fault& c, std::ostream* os) { *os << c.name; }

class Ft12Faults : public Ft12, public ::testing::WithParamInterface<Ft12Fault> {};

TEST_P(Ft12Faults, GiveTheirCodeAfterTheRightAttemptsAndTime)
{
    const auto& f = GetParam();
    f.script(port);
    EXPECT_EQ(run(kRead, 2), f.result);
    EXPECT_EQ(traceCount(">>"), f.attempts);
    EXPECT_EQ(elapsedMs(), f.ms);
    EXPECT_TRUE(port.mismatches.empty()) << port.mismatches.front();
}

// Per attempt: 2 ms before sending; reply bytes 5 ms after the frame, then 1 ms apart.
INSTANTIATE_TEST_SUITE_P(
    Engine, Ft12Faults,
    ::testing::Values(
        Ft12Fault{"Silence", [](ScriptedPort&) {}, xr::NoAnswer, 3, 3 * 1002 + 2 * 3000},
        Ft12Fault{"NegativeReceipt", [](ScriptedPort& p) { p.addTurn(kReadFrame, {0xE5}); },
                  xr::NegativeFtReceipt, 1, 7},
        Ft12Fault{"WrongSum", [](ScriptedPort& p) { answerEachAttempt(p, withByte(kReply, 7, 0x32)); },
                  xr::FrameChecksum, 3, 3 * 15 + 2 * 3000},
        Ft12Fault{"WrongEndByte",
                  [](ScriptedPort& p) { answerEachAttempt(p, withByte(kReply, 8, 0x17)); },
                  xr::EndByte, 3, 3 * 15 + 2 * 3000},
        // An unknown start byte spoils the attempt; its leftovers are gone after the pause.
        Ft12Fault{"GarbageBeforeTheFrame",
                  [](ScriptedPort& p) {
                      Bytes noisy{0x33};
                      noisy.insert(noisy.end(), kReply.begin(), kReply.end());
                      p.addTurn(kReadFrame, noisy);
                      p.addTurn(kReadFrame, kReply);
                  },
                  xr::Ok, 2, 7 + 3000 + 15},
        Ft12Fault{"TruncatedFrame",
                  [](ScriptedPort& p) { answerEachAttempt(p, Bytes(kReply.begin(), kReply.begin() + 5)); },
                  xr::NoAnswer, 3, 3 * 3011 + 2 * 3000},
        Ft12Fault{"MissingTrailer",
                  [](ScriptedPort& p) { answerEachAttempt(p, Bytes(kReply.begin(), kReply.begin() + 7)); },
                  xr::NoTrailer, 3, 3 * 1013 + 2 * 3000},
        Ft12Fault{"WrongControlByte",
                  [](ScriptedPort& p) { answerEachAttempt(p, withByte(kReply, 1, 0x01)); },
                  xr::ControlByte, 3, 3 * 8 + 2 * 3000},
        Ft12Fault{"WrongAddress",
                  [](ScriptedPort& p) { answerEachAttempt(p, withByte(kReply, 2, 0x06)); },
                  xr::Address, 3, 3 * 9 + 2 * 3000},
        Ft12Fault{"LengthsDiffer",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x68, 0x0C, 0x0D, 0x68, 0x00, 0x05}); },
                  xr::LengthMismatch, 3, 3 * 10 + 2 * 3000},
        Ft12Fault{"SecondStartMissing",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x68, 0x0C, 0x0C, 0x69, 0x00, 0x05}); },
                  xr::SecondStart, 3, 3 * 10 + 2 * 3000},
        // A long frame too short to hold C and A is no frame, whatever its trailer says.
        Ft12Fault{"LongFrameWithoutControlAndAddress",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x68, 0x01, 0x01, 0x68, 0x05, 0x05, 0x16}); },
                  xr::NoAnswer, 3, 3 * 10 + 2 * 3000},
        Ft12Fault{"FirstWriteFails",
                  [](ScriptedPort& p) {
                      p.failingWrites = {0};
                      p.addTurn(kReadFrame, kReply);
                  },
                  xr::Ok, 2, 2 + 3000 + 15},
        Ft12Fault{"EveryWriteFails", [](ScriptedPort& p) { p.failingWrites = {0, 1, 2}; },
                  xr::WriteFailed, 3, 3 * 2 + 2 * 3000},
        Ft12Fault{"PortGoneMidExchange", [](ScriptedPort& p) { p.goneAfterWrites = 3; },
                  xr::WriteFailed, 3, 2 + 2 * (3000 + 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Ft12, CrcModesCheckTheReplyCrc)
{
    struct Case {
        int mode;
        Bytes request;
        Bytes reply;
        ExchangeResult result;
    };
    const Bytes mode1Request{0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x11, 0xDD, 0x89, 0x16};
    const Bytes mode2Request{0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x11, 0xDD};
    const Case cases[] = {
        {1, mode1Request, {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x3E, 0xDC, 0x4B, 0x16}, xr::Ok},
        // The CRC is checked before the sum (which here still matches the bytes).
        {1, mode1Request, {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x3E, 0xDD, 0x4C, 0x16},
         xr::CrcMismatch},
        {1, mode1Request, {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x3E, 0xDC, 0x4C, 0x16},
         xr::FrameChecksum},
        {2, mode2Request, {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x3E, 0xDC}, xr::Ok},
        {2, mode2Request, {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x3E, 0xDD}, xr::CrcMismatch},
    };
    exchange.state().attemptCount = 1;
    for (const auto& c : cases) {
        exchange.state().crcMode = uint8_t(c.mode);
        port.addTurn(c.request, c.reply);
        EXPECT_EQ(run(kRead, 2), c.result) << c.mode;
        if (c.result == xr::Ok) {
            EXPECT_EQ(replyHead(2), (Bytes{0x14, 0x18}));
        }
    }
    EXPECT_TRUE(port.mismatches.empty());
}

TEST_F(Ft12, TwoWireLineTracesAndSkipsItsEcho)
{
    port.echo = true;
    port.addTurn(kReadFrame, kReply);
    EXPECT_EQ(run(kRead, 2, 2), xr::Ok);
    EXPECT_EQ(trace.lines, (std::vector<std::string>{">>10 40 05 01 40 15 00 9B 16",
                                                     "2x : 10 40 05 01 40 15 00 9B 16",
                                                     "<<10 00 05 14 18 00 00 31 16"}));
}

TEST_F(Ft12, ModemLinksWaitThreeSecondsForTheStartByte)
{
    EXPECT_EQ(run(kRead, 2, 8), xr::NoAnswer);
    EXPECT_EQ(elapsedMs(), 3 * 3002 + 2 * 3000);
}

TEST_F(Ft12, ReplyNeverLandsPastTheBuffer)
{
    port.addTurn(kReadFrame, {0x68, 0x0C, 0x0C, 0x68, 0x00, 0x05, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                              0x3C, 0x16});
    Bytes storage(8, 0xEE);
    EXPECT_EQ(exchange.transact(port, kRead, std::span(storage).first(4), 0, 10), xr::Ok);
    EXPECT_EQ(storage, (Bytes{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(Ft12, CountedFramesCarryTheCounterAndExpectItBack)
{
    exchange.state().protocol = prot::Ft12Counted;
    exchange.state().attemptCount = 1;
    exchange.state().frameCounter = 7;
    // 8 follows 7, then the counter wraps to 0.
    port.addTurn({0x10, 0x48, 0x05, 0x01, 0x40, 0x15, 0x00, 0xA3, 0x16},
                 {0x10, 0x08, 0x05, 0x14, 0x18, 0x00, 0x00, 0x39, 0x16});
    EXPECT_EQ(run(kRead, 2), xr::Ok);
    port.addTurn({0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9B, 0x16}, kReply);
    EXPECT_EQ(run(kRead, 2), xr::Ok);
    EXPECT_EQ(exchange.state().frameCounter, 0);
    // A retry repeats the frame as it was.
    exchange.state().attemptCount = 2;
    port.addTurn({0x10, 0x41, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9C, 0x16}, {});
    port.addTurn({0x10, 0x41, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9C, 0x16},
                 {0x10, 0x00, 0x05, 0x14, 0x18, 0x00, 0x00, 0x31, 0x16});
    EXPECT_EQ(run(kRead, 2), xr::ControlByte);
    EXPECT_TRUE(port.mismatches.empty());
}

TEST_F(Ft12, ProbeKeepsTheCounterWhenTheControllerEchoesIt)
{
    // Counter set to 1 and stepped to 2 before the frame goes out.
    port.addTurn({0x10, 0x42, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9D, 0x16},
                 {0x10, 0x02, 0x05, 0x14, 0x18, 0x00, 0x00, 0x33, 0x16});
    EXPECT_EQ(exchange.probeFrameCounter(port, 0), xr::Ok);
    EXPECT_EQ(exchange.state().protocol, prot::Ft12Counted);
    EXPECT_EQ(exchange.state().attemptCount, 3);
    EXPECT_TRUE(port.mismatches.empty());
}

TEST_F(Ft12, ProbeFallsBackToPlainFt12WhenTheControllerAnswersControlZero)
{
    port.addTurn({0x10, 0x42, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9D, 0x16}, kReply);
    EXPECT_EQ(exchange.probeFrameCounter(port, 0), xr::ControlByte);
    EXPECT_EQ(exchange.state().protocol, prot::Ft12);
    EXPECT_EQ(traceCount(">>"), 1);
}

TEST_F(Ft12, ProbeTriesTwiceWithoutPauseAgainstSilence)
{
    exchange.state().attemptCount = 0;
    startMs = clock.nowMs();
    EXPECT_EQ(exchange.probeFrameCounter(port, 0), xr::NoAnswer);
    EXPECT_EQ(traceCount(">>"), 2);
    EXPECT_EQ(elapsedMs(), 2 * 1002);
    EXPECT_EQ(exchange.state().attemptCount, 0);
}

TEST_F(Ft12, ProbeLeavesOtherProtocolsAndTheCanAdapterAlone)
{
    for (uint8_t p : {prot::Traditional, prot::Ft11}) {
        exchange.state().protocol = p;
        EXPECT_EQ(exchange.probeFrameCounter(port, 0), xr::Ok);
        EXPECT_EQ(exchange.state().protocol, p);
    }
    exchange.state().protocol = prot::Ft12;
    EXPECT_EQ(exchange.probeFrameCounter(port, 11), xr::BadModule);
    EXPECT_EQ(port.reads, 0);
    EXPECT_TRUE(port.sent.empty());
}
