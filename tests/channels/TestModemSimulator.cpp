// The simulated modem at the byte level: what the dialogue tests lean on, and the parts of a
// call they do not reach (escape guard time, going back online, the far end hanging up).
#include <gtest/gtest.h>

#include "TestModemRig.h"

using namespace kv;
using kv::test::ModemRig;

namespace {

void send(ModemRig& rig, const std::string& s)
{
    rig.line->write(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()));
}

std::string recv(ModemRig& rig, int ms = 300)
{
    rig.line->setTimeouts(ms, 500);
    uint8_t buf[256];
    const int n = rig.line->read(buf, int(sizeof buf));
    return n > 0 ? std::string(reinterpret_cast<const char*>(buf), std::size_t(n)) : std::string();
}

// Dials and waits for the connect line.
void connectCall(ModemRig& rig)
{
    send(rig, "ATE0V1\r");
    recv(rig);
    send(rig, "ATDT123\r");
    ASSERT_EQ(recv(rig, 20000), "\r\nRING\r\n\r\nCONNECT 9600\r\n");
}

} // namespace

TEST(ModemSimulator, EchoAndAnswerFormsFollowEAndV)
{
    ModemRig rig;
    send(rig, "AT\r");
    EXPECT_EQ(recv(rig), "AT\r\r\nOK\r\n");
    send(rig, "AT V0 E0 S7=45\r");
    EXPECT_EQ(recv(rig), "AT V0 E0 S7=45\r0\r");   // echoed before E0 took effect
    EXPECT_EQ(rig.modem->sRegister(7), 45);
    send(rig, "ATS7?\r");
    EXPECT_EQ(recv(rig), "045\r\n0\r");
    send(rig, "AT+CSQ\r");   // no GSM commands on a Hayes modem
    EXPECT_EQ(recv(rig), "4\r");
    send(rig, "ATV1Q1\r");
    EXPECT_EQ(recv(rig), "");
    send(rig, "garbage\r");
    send(rig, "ATZ\r");
    EXPECT_EQ(recv(rig), "\r\nOK\r\n");   // echo still off while ATZ came in
}

TEST(ModemSimulator, GsmAnswersRegistrationAndSignal)
{
    sim::ModemOptions mo;
    mo.registration = 5;
    mo.signal = 9;
    ModemRig rig(channel::Gsm, mo);
    send(rig, "ATE0\r\n");
    EXPECT_EQ(recv(rig), "ATE0\r\r\nOK\r\n");
    send(rig, "AT V1 E0 +CREG ?\r\n");
    EXPECT_EQ(recv(rig), "\r\n+CREG: 0,5\r\n\r\nOK\r\n");
    send(rig, "AT+CREG=2;+CSQ\r\n");
    EXPECT_EQ(recv(rig), "\r\n+CSQ: 9,99\r\n\r\nOK\r\n");
    send(rig, "AT+CREG?\r\n");
    EXPECT_EQ(recv(rig), "\r\n+CREG: 2,5\r\n\r\nOK\r\n");
}

TEST(ModemSimulator, EscapeNeedsItsGuardTimesAndOReturnsOnline)
{
    ModemRig rig;
    connectCall(rig);
    EXPECT_TRUE(rig.line->modemStatus().rlsd);

    // "+++" right after other data is data.
    send(rig, "x+++");
    rig.clock.sleepMs(1500);
    EXPECT_EQ(recv(rig), "");
    EXPECT_TRUE(rig.modem->dataMode());

    // With a second of silence on both sides it is the escape.
    rig.clock.sleepMs(1200);
    send(rig, "+++");
    rig.clock.sleepMs(1200);
    EXPECT_EQ(recv(rig), "\r\nOK\r\n");
    EXPECT_FALSE(rig.modem->dataMode());
    EXPECT_TRUE(rig.modem->inCall());
    EXPECT_TRUE(rig.line->modemStatus().rlsd);

    send(rig, "ATO\r");
    EXPECT_EQ(recv(rig), "\r\nCONNECT 9600\r\n");
    EXPECT_TRUE(rig.modem->dataMode());
}

TEST(ModemSimulator, CallEndsWhenTheFarEndOrDtrDropsIt)
{
    {
        ModemRig rig;
        connectCall(rig);
        rig.modem->farEndHangsUp(rig.clock.nowUs() + 100000);
        EXPECT_EQ(recv(rig, 1000), "\r\nNO CARRIER\r\n");
        EXPECT_FALSE(rig.line->modemStatus().rlsd);
        EXPECT_EQ(rig.modem->hangUps(), 0);
    }
    {
        ModemRig rig;
        connectCall(rig);
        rig.line->setDtr(false);
        EXPECT_FALSE(rig.modem->inCall());
        EXPECT_EQ(rig.modem->hangUps(), 1);
    }
    {
        // A key pressed while the modem dials abandons the call.
        ModemRig rig;
        send(rig, "ATE0\r");
        recv(rig);
        send(rig, "ATDT123\r");
        rig.clock.sleepMs(500);
        send(rig, "A");
        EXPECT_EQ(recv(rig, 20000), "\r\nNO CARRIER\r\n");
        EXPECT_FALSE(rig.modem->dialling());
        EXPECT_EQ(recv(rig, 20000), "");
    }
}

TEST(ModemSimulator, WrongNumberNeverConnects)
{
    sim::ModemOptions mo;
    mo.number = "555";
    mo.rings = 0;
    ModemRig rig(channel::Hayes, mo);
    send(rig, "ATE0S7=20\r");
    recv(rig);
    send(rig, "ATDP 123\r");
    EXPECT_EQ(recv(rig, 30000), "\r\nNO CARRIER\r\n");
    EXPECT_TRUE(rig.modem->lastDialPulse());
    EXPECT_EQ(rig.modem->lastDialled(), "123");
}
