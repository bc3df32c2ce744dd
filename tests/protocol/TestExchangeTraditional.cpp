// The traditional protocol: ENQ/EOT handshake, frame with complement checksum, ACK/NAK
// receipt, fixed-length reply with a zero-sum check.
#include <gtest/gtest.h>

#include "ScriptedPort.h"

using namespace kv;
using namespace kv::test;

namespace {

const Bytes kRead{0x01, 0x40, 0x15};
const Bytes kReadFrame{0x03, 0x01, 0x40, 0x15, 0xAA};

void controllerAnswers(ScriptedPort& port, Bytes reply, const Bytes& frame = kReadFrame)
{
    port.addTurn({0x05}, {0x04});
    port.addTurn(frame, std::move(reply));
}

} // namespace

class Traditional : public EngineTest {};

TEST_F(Traditional, ReadsAReplyAfterTheHandshakeAndTracesEveryStep)
{
    controllerAnswers(port, {0x06, 0x14, 0x18, 0xD4});
    EXPECT_EQ(run(kRead, 2), xr::Ok);
    EXPECT_EQ(port.sent, (Bytes{0x05, 0x03, 0x01, 0x40, 0x15, 0xAA}));
    EXPECT_TRUE(port.mismatches.empty());
    EXPECT_EQ(replyHead(3), (Bytes{0x14, 0x18, 0xCC}));
    EXPECT_EQ(trace.lines,
              (std::vector<std::string>{">>5", "Ждем 4: 04", ">>03 01 40 15 AA", "<<06 14 18 D4"}));
    EXPECT_EQ(pump.count, 4);   // the user interface breathes at every trace line
    EXPECT_EQ(elapsedMs(), 17); // 2 ms turnaround, 5 ms to EOT, 2 ms, 5 ms to ACK, 3 bytes
}

TEST_F(Traditional, ReceiptOnlyExchangeStopsAtTheAck)
{
    port.addTurn({0x05}, {0x04});
    port.addTurn({0x01, 0x0B, 0xF5}, {0x06, 0x77});
    EXPECT_EQ(run({0x0B}, 0), xr::Ok);
    EXPECT_EQ(trace.lines.back(), "<<06");
    EXPECT_EQ(port.pendingBytes(), 1u);   // what follows the receipt is not read
}

struct TradFault {
    const char* name;
    std::function<void(ScriptedPort&)> script;
    ExchangeResult result;
    int attempts;
    int64_t ms;
};

// Failure messages name the case, not its bytes.
void PrintTo(const TradFault& c, std::ostream* os) { *os << c.name; }

class TraditionalFaults : public EngineTest, public ::testing::WithParamInterface<TradFault> {};

TEST_P(TraditionalFaults, GiveTheirCodeAfterTheRightAttemptsAndTime)
{
    const auto& f = GetParam();
    f.script(port);
    EXPECT_EQ(run(kRead, 2), f.result);
    EXPECT_EQ(traceCount(">>5"), f.attempts);
    EXPECT_EQ(elapsedMs(), f.ms);
    EXPECT_TRUE(port.mismatches.empty()) << port.mismatches.front();
}

// Per attempt on an RS-232 line: 2 ms before each send; between attempts 3000 ms.
INSTANTIATE_TEST_SUITE_P(
    Engine, TraditionalFaults,
    ::testing::Values(
        // No controller: each attempt waits 1000 ms for EOT in vain.
        TradFault{"Silence", [](ScriptedPort&) {}, xr::NoAnswer, 3, 3 * 1002 + 2 * 3000},
        TradFault{"NegativeReceipt",
                  [](ScriptedPort& p) { for (int i = 0; i < 3; ++i) controllerAnswers(p, {0x15}); },
                  xr::NegativeReceipt, 3, 3 * 14 + 2 * 3000},
        TradFault{"WrongReplyChecksum",
                  [](ScriptedPort& p) {
                      for (int i = 0; i < 3; ++i) controllerAnswers(p, {0x06, 0x14, 0x18, 0xD5});
                  },
                  xr::ReplyChecksum, 3, 3 * 17 + 2 * 3000},
        TradFault{"GarbageBeforeEotAndAck",
                  [](ScriptedPort& p) {
                      p.addTurn({0x05}, {0x33, 0x44, 0x04});
                      p.addTurn(kReadFrame, {0x99, 0x06, 0x14, 0x18, 0xD4});
                  },
                  xr::Ok, 1, 20},
        // The data read waits its whole T = 3 s for the missing bytes.
        TradFault{"TruncatedReply",
                  [](ScriptedPort& p) { for (int i = 0; i < 3; ++i) controllerAnswers(p, {0x06, 0x14}); },
                  xr::NoAnswer, 3, 3 * 3014 + 2 * 3000},
        // A short reply is refused even when its bytes happen to sum to zero.
        TradFault{"TruncatedReplySummingToZero",
                  [](ScriptedPort& p) { for (int i = 0; i < 3; ++i) controllerAnswers(p, {0x06, 0x00}); },
                  xr::NoAnswer, 3, 3 * 3014 + 2 * 3000},
        // A chattering line never answers EOT: the wait ends after two wait units (1.728 s).
        TradFault{"ChatterInsteadOfEot",
                  [](ScriptedPort& p) {
                      for (int i = 0; i < 3; ++i) p.addTurn({0x05}, Bytes(20, 0x33), 5, 100);
                  },
                  xr::NoAnswer, 3, 3 * 1807 + 2 * 3000},
        TradFault{"FirstWriteFails",
                  [](ScriptedPort& p) {
                      p.failingWrites = {0};
                      controllerAnswers(p, {0x06, 0x14, 0x18, 0xD4});
                  },
                  xr::Ok, 2, 2 + 3000 + 17},
        TradFault{"EveryWriteFails", [](ScriptedPort& p) { p.failingWrites = {0, 1, 2}; },
                  xr::WriteFailed, 3, 3 * 2 + 2 * 3000},
        // The device vanishes once the frame is out: no receipt, then writes fail.
        TradFault{"PortGoneMidExchange",
                  [](ScriptedPort& p) {
                      p.goneAfterWrites = 2;
                      p.addTurn({0x05}, {0x04});
                  },
                  xr::WriteFailed, 3, 9 + 2 * (3000 + 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Traditional, AttemptCountBelowOneMeansOneAttempt)
{
    for (int count : {0, -5}) {
        exchange.state().attemptCount = count;
        trace.lines.clear();
        EXPECT_EQ(run(kRead, 2), xr::NoAnswer);
        EXPECT_EQ(traceCount(">>5"), 1);
        EXPECT_EQ(elapsedMs(), 1002);
    }
}

TEST_F(Traditional, TwoWireEchoOfTheFrameIsNeverTakenForTheReceipt)
{
    // The frame 01 06 FA contains the ACK byte; the line hears it back at once.
    port.echo = true;
    for (int i = 0; i < 3; ++i) {
        port.addTurn({0x05}, {0x04});
        port.addTurn({0x01, 0x06, 0xFA}, {});
    }
    EXPECT_EQ(run({0x06}, 0, 2), xr::NoReceipt);
    EXPECT_EQ(trace.lines[1], "Ждем 4: 05 04");
    EXPECT_EQ(trace.lines[3], "<<");
    // 3 ms turnaround at 9600 baud on a current loop, EOT, 3 ms, then 2 s for the receipt.
    EXPECT_EQ(elapsedMs(), 3 * (3 + 5 + 3 + 2000) + 2 * 3000);
}

TEST_F(Traditional, TwoWireLineSkipsItsEchoAndReadsTheReply)
{
    port.echo = true;
    controllerAnswers(port, {0x06, 0x14, 0x18, 0xD4});
    EXPECT_EQ(run(kRead, 2, 2), xr::Ok);
    EXPECT_EQ(replyHead(2), (Bytes{0x14, 0x18}));
    EXPECT_EQ(trace.lines.back(), "<<06 14 18 D4");
}

TEST_F(Traditional, LineModemSendsWithoutHandshakeAndFlushesWithFF)
{
    port.addTurn({0x05, 0x03, 0x01, 0x40, 0x15, 0xAA, 0xFF}, {0x06, 0x14, 0x18, 0xD4});
    EXPECT_EQ(run(kRead, 2, 4), xr::Ok);
    EXPECT_TRUE(port.mismatches.empty());
    EXPECT_EQ(traceCount("Ждем 4: "), 0);
    EXPECT_EQ(replyHead(2), (Bytes{0x14, 0x18}));
    // 57 ms before each send, 55 ms turnaround after the frame.
    EXPECT_EQ(elapsedMs(), 57 + 57 + 55);
    EXPECT_TRUE(port.dtr);
    EXPECT_FALSE(port.rts);
}

TEST_F(Traditional, ModemWithoutPowerEndsAtOnceWithoutTouchingTheLine)
{
    port.status.dsr = false;
    for (int type : {4, 5, 6}) {
        EXPECT_EQ(run(kRead, 2, type), xr::ModemPowerOff) << type;
        EXPECT_EQ(elapsedMs(), 0);
    }
    EXPECT_TRUE(port.sent.empty());
    // A GSM line has no power test.
    EXPECT_EQ(run(kRead, 2, 8), xr::NoAnswer);
}

TEST_F(Traditional, ReplyNeverLandsPastTheBuffer)
{
    Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    data.push_back(uint8_t(0x100 - 55));
    data.insert(data.begin(), 0x06);
    controllerAnswers(port, data);
    Bytes storage(8, 0xEE);
    const auto r = exchange.transact(port, kRead, std::span(storage).first(4), 0, 10);
    EXPECT_EQ(r, xr::Ok);
    EXPECT_EQ(storage, (Bytes{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(Traditional, CanAdapterChannelAndUnframeableBodiesNeverReachTheLine)
{
    EXPECT_EQ(run(kRead, 2, 11), xr::BadModule);
    EXPECT_EQ(run(Bytes(256, 0), 0), xr::WriteFailed);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_TRUE(port.events.empty());
    EXPECT_EQ(port.reads, 0);
    EXPECT_EQ(elapsedMs(), 0);
}
