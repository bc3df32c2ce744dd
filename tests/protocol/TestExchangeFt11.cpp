// FT1.1: length, control and address without checksum; a bare zero length is the receipt.
#include <gtest/gtest.h>

#include "ScriptedPort.h"

using namespace kv;
using namespace kv::test;

namespace {

const Bytes kRead{0x01, 0x40, 0x15};
const Bytes kReadFrame{0x05, 0x40, 0x05, 0x01, 0x40, 0x15};
const Bytes kReply{0x04, 0x00, 0x05, 0x14, 0x18};

void answerEachAttempt(ScriptedPort& p, const Bytes& reply)
{
    for (int i = 0; i < 3; ++i)
        p.addTurn(kReadFrame, reply);
}

} // namespace

class Ft11 : public EngineTest {
protected:
    void SetUp() override
    {
        exchange.state().protocol = prot::Ft11;
        exchange.state().networkNumber = 5;
    }
};

TEST_F(Ft11, SendsHeaderAndBodyAndStoresTheReplyData)
{
    port.addTurn(kReadFrame, kReply);
    EXPECT_EQ(run(kRead, 2), xr::Ok);
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[0].bytes, (Bytes{0x05, 0x40, 0x05}));
    EXPECT_EQ(replyHead(3), (Bytes{0x14, 0x18, 0xCC}));
    EXPECT_TRUE(trace.lines.empty());
    EXPECT_EQ(elapsedMs(), 2 + 9 + 100);   // 100 ms rest after every attempt
}

TEST_F(Ft11, ZeroLengthIsAReceipt)
{
    port.addTurn(kReadFrame, {0x00});
    EXPECT_EQ(run(kRead, 2), xr::PositiveReceipt);
    port.addTurn(kReadFrame, {0x00});
    EXPECT_EQ(run(kRead, 0), xr::Ok);
    EXPECT_EQ(port.discards, 2);   // one attempt each
}

struct Ft11Fault {
    const char* name;
    std::function<void(ScriptedPort&)> script;
    ExchangeResult result;
    int attempts;
    int64_t ms;
};

// Failure messages name the case, not its bytes.
void PrintTo(const Ft11Fault& c, std::ostream* os) { *os << c.name; }

class Ft11Faults : public Ft11, public ::testing::WithParamInterface<Ft11Fault> {};

TEST_P(Ft11Faults, GiveTheirCodeAfterTheRightAttemptsAndTime)
{
    const auto& f = GetParam();
    f.script(port);
    EXPECT_EQ(run(kRead, 2), f.result);
    EXPECT_EQ(port.discards, f.attempts);
    EXPECT_EQ(elapsedMs(), f.ms);
    EXPECT_TRUE(port.mismatches.empty()) << port.mismatches.front();
}

// The reply wait T is 3 s at 9600 baud; every attempt that sent its frame rests 100 ms.
INSTANTIATE_TEST_SUITE_P(
    Engine, Ft11Faults,
    ::testing::Values(
        Ft11Fault{"Silence", [](ScriptedPort&) {}, xr::NoReceipt, 3, 3 * 3102 + 2 * 3000},
        Ft11Fault{"WrongControlByte",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x04, 0x01, 0x05, 0x14, 0x18}); },
                  xr::ControlByte, 3, 3 * 108 + 2 * 3000},
        Ft11Fault{"WrongAddress",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x04, 0x00, 0x06, 0x14, 0x18}); },
                  xr::Address, 3, 3 * 109 + 2 * 3000},
        Ft11Fault{"TruncatedFrame",
                  [](ScriptedPort& p) { answerEachAttempt(p, {0x04, 0x00, 0x05, 0x14}); },
                  xr::NoAnswer, 3, 3 * 3110 + 2 * 3000},
        // Without a start byte, noise reads as a length; the control byte check catches it.
        Ft11Fault{"GarbageBeforeTheFrame",
                  [](ScriptedPort& p) {
                      p.addTurn(kReadFrame, {0x33, 0x04, 0x00, 0x05, 0x14, 0x18});
                      p.addTurn(kReadFrame, kReply);
                  },
                  xr::Ok, 2, 108 + 3000 + 111},
        // A failed write ends the attempt without the rest.
        Ft11Fault{"FirstWriteFails",
                  [](ScriptedPort& p) {
                      p.failingWrites = {0};
                      p.addTurn(kReadFrame, kReply);
                  },
                  xr::Ok, 2, 2 + 3000 + 111},
        Ft11Fault{"PortGoneMidExchange", [](ScriptedPort& p) { p.goneAfterWrites = 2; },
                  xr::WriteFailed, 3, 2 + 100 + 2 * (3000 + 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Ft11, TwoWireLineSkipsItsEcho)
{
    port.echo = true;
    port.addTurn(kReadFrame, kReply);
    EXPECT_EQ(run(kRead, 2, 2), xr::Ok);
    EXPECT_EQ(replyHead(2), (Bytes{0x14, 0x18}));
}

TEST_F(Ft11, ReplyNeverLandsPastTheBuffer)
{
    port.addTurn(kReadFrame, {0x0C, 0x00, 0x05, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    Bytes storage(8, 0xEE);
    EXPECT_EQ(exchange.transact(port, kRead, std::span(storage).first(4), 0, 10), xr::Ok);
    EXPECT_EQ(storage, (Bytes{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
}
