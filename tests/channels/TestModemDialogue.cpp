// The modem dialogue against the simulated Hayes and GSM modems, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestModemRig.h"

using namespace kv;
using kv::test::ModemRig;

namespace {

ModemDialogue dialogueOn(ModemRig& rig)
{
    return ModemDialogue(*rig.line, rig.clock, rig.pump, rig.trace, rig.state);
}

} // namespace

TEST(ModemDialogue, HayesDialConnectsInBothAnswerForms)
{
    for (const bool words : {false, true}) {
        SCOPED_TRACE(words ? "words" : "digits");
        ModemRig rig;
        ModemDialogue d = dialogueOn(rig);
        const int64_t start = rig.clock.nowMs();
        const int r = d.dial(rig.request(words ? "AT V1 E0 S7=60" : "AT V0 E0 S7=60", words));

        EXPECT_EQ(r, words ? 1 : 12);   // "CONNECT 9600", or its digit code
        EXPECT_TRUE(countsAsConnected(r));
        EXPECT_TRUE(rig.modem->dataMode());
        EXPECT_TRUE(rig.line->modemStatus().rlsd);
        EXPECT_EQ(rig.modem->lastDialled(), "123");
        EXPECT_FALSE(rig.modem->lastDialPulse());

        const std::string init = words ? "AT V1 V1 E0 S7=60" : "AT V0 V0 E0 S7=60";
        // A modem starts with its echo on: in digit form the echoed command's digits spoil
        // the first answer, and the second try (echo now off) reads clean.
        std::vector<std::string> sent(words ? 1 : 2, init);
        sent.push_back("AT DT 123");
        EXPECT_EQ(rig.modem->commands(), sent);
        EXPECT_TRUE(rig.trace.has(">> " + modemHex(init + "\r")));
        EXPECT_TRUE(rig.trace.has("   " + init + "<0D>"));
        EXPECT_TRUE(rig.trace.has(">> 41 54 20 44 54 20 31 32 33 0D"));
        EXPECT_TRUE(rig.trace.has("  AT DT 123<0D>"));

        // The ring before the answer does not end the wait, nor add its digit.
        EXPECT_EQ(d.reply(1), words ? "RING CONNECT 9600 " : "2 12 ");
        EXPECT_EQ(d.log()[1], d.reply(1));
        EXPECT_EQ(d.log()[0], words ? "/( >>" + init + "<0D> m=-1<0D><0A>OK<0D> m=0 <<" + init + " OK )"
                                    : std::string("/( >>0<0D> m=0 <<0 )"));
        EXPECT_TRUE(d.log()[2].empty());
        EXPECT_TRUE(d.log()[3].empty());
        EXPECT_EQ(d.connectWait(), 80);
        // The connect line ends the wait: work starts at once, not after 80 s.
        EXPECT_LT(rig.secondsSince(start), 20.0);
    }
}

TEST(ModemDialogue, FailedCallsEndTheWaitWithTheirCodeAndRingsDoNot)
{
    struct Case {
        sim::CallFate fate;
        int code;
        const char* wordAnswer;
    };
    const Case cases[] = {
        {sim::CallFate::Busy, 7, "BUSY "},
        {sim::CallFate::NoCarrier, 3, "RING RING NO CARRIER "},
        {sim::CallFate::NoAnswer, 8, "RING RING NO ANSWER "},
        {sim::CallFate::NoDialTone, 6, "NO DIAL TONE "},
    };
    for (const Case& c : cases) {
        for (const bool words : {false, true}) {
            SCOPED_TRACE(std::string(c.wordAnswer) + (words ? "words" : "digits"));
            sim::ModemOptions mo;
            mo.fate = c.fate;
            mo.rings = 2;
            mo.answerMs = 12000;
            ModemRig rig(channel::Hayes, mo);
            ModemDialogue d = dialogueOn(rig);
            const int64_t start = rig.clock.nowMs();
            const int r = d.dial(rig.request(words ? "AT V1 E0 S7=60" : "AT V0 E0 S7=60", words));
            // In digit form the rings' own digits do not join the answer (2, 2, 7 is not 227).
            EXPECT_EQ(r, c.code);
            EXPECT_FALSE(countsAsConnected(r));
            EXPECT_FALSE(rig.modem->inCall());
            const bool rings = c.fate != sim::CallFate::Busy && c.fate != sim::CallFate::NoDialTone;
            EXPECT_EQ(d.reply(1), words ? std::string(c.wordAnswer)
                                        : (rings ? "2 2 " : "") + std::to_string(c.code) + " ");
            EXPECT_LT(rig.secondsSince(start), 40.0);
        }
    }
}

TEST(ModemDialogue, AnswerSlowerThanS7IsNoCarrier)
{
    sim::ModemOptions mo;
    mo.answerMs = 15000;
    ModemRig rig(channel::Hayes, mo);
    ModemDialogue d = dialogueOn(rig);
    EXPECT_EQ(d.dial(rig.request("AT V0 E0 S7=10", false)), 3);
    EXPECT_EQ(d.connectWait(), 30);
    EXPECT_FALSE(rig.modem->inCall());
}

TEST(ModemDialogue, SilentHayesModem)
{
    sim::ModemOptions mo;
    mo.silent = true;
    {
        // Word answers: the init command gets two tries, nothing is dialled.
        ModemRig rig(channel::Hayes, mo);
        ModemDialogue d = dialogueOn(rig);
        EXPECT_EQ(d.dial(rig.request("AT V1 E0 S7=60", true)), 3);
        int sends = 0;
        for (const auto& l : rig.trace.lines)
            sends += l == "   AT V1 V1 E0 S7=60<0D>";
        EXPECT_EQ(sends, 2);
        EXPECT_FALSE(rig.trace.has("  AT DT 123<0D>"));
    }
    {
        // Digit answers: no digits read as 0, so the dial goes on and waits the whole time.
        ModemRig rig(channel::Hayes, mo);
        ModemDialogue d = dialogueOn(rig);
        const int64_t start = rig.clock.nowMs();
        EXPECT_EQ(d.dial(rig.request("AT V0 E0 S7=60", false)), 0);
        EXPECT_TRUE(rig.trace.has("  AT DT 123<0D>"));
        EXPECT_GE(rig.secondsSince(start), 80.0);
        EXPECT_LT(rig.secondsSince(start), 90.0);
    }
}

TEST(ModemDialogue, InitCommandAnsweredWithErrorIsNotRepeated)
{
    for (const bool words : {false, true}) {
        ModemRig rig;   // a Hayes modem knows no +CSQ
        ModemDialogue d = dialogueOn(rig);
        EXPECT_EQ(d.dial(rig.request("AT +CSQ", words)), 4);
        ASSERT_EQ(rig.modem->commands().size(), 1u);
        EXPECT_EQ(rig.modem->commands()[0], words ? "AT V1 +CSQ E0" : "AT V0 +CSQ E0");
        EXPECT_EQ(rig.modem->calls(), 0);
    }
}

TEST(ModemDialogue, EmptyPhoneStopsAfterTheInitCommands)
{
    ModemRig rig;
    ModemDialogue d = dialogueOn(rig);
    EXPECT_EQ(d.dial(rig.request("AT V0 E0", false, "")), 0);
    EXPECT_EQ(rig.modem->calls(), 0);
}

TEST(ModemDialogue, CancelEndsTheDialWaitWithinASecond)
{
    for (const bool words : {false, true}) {
        sim::ModemOptions mo;
        mo.answerMs = 60000;
        ModemRig rig(channel::Hayes, mo);
        ModemDialogue d = dialogueOn(rig);
        rig.pump.at(20000, [&] { rig.state.cancel = true; });
        const int64_t start = rig.clock.nowMs();
        const int r = d.dial(rig.request(words ? "AT V1 E0 S7=90" : "AT V0 E0 S7=90", words));
        // Digits: the dialogue's own -1; words: what had arrived, which is nothing.
        EXPECT_EQ(r, words ? 3 : -1);
        EXPECT_LE(rig.secondsSince(start), 22.5);   // one read, then the second after a Hayes dial
    }
}

TEST(ModemDialogue, GsmDialProbesRegistersAndConnects)
{
    ModemRig rig(channel::Gsm);
    ModemDialogue d = dialogueOn(rig);
    const int r = d.dial(rig.request("AT+CBST=7,0,1", true));
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(rig.modem->dataMode());
    EXPECT_TRUE(rig.trace.has("Эхо откл скор 5"));
    EXPECT_TRUE(rig.trace.has("   AT V1 E0 +CREG ?<0D><0A>"));
    EXPECT_TRUE(rig.trace.has("  ATD123<0D><0A>"));
    EXPECT_EQ(d.log()[2], "(>>AT V1 E0 +CREG ?  <<+CREG: 0,1 OK )(>>AT +CSQ  <<+CSQ: 17,99 OK )");
    const std::vector<std::string> expected = {"ATE0", "AT V1 E0 +CREG ?", "AT +CSQ", "AT +CBST=7,0,1", "ATD123"};
    EXPECT_EQ(rig.modem->commands(), expected);
}

TEST(ModemDialogue, GsmModemOnAFixedSpeedIsFoundAtTheSecond)
{
    sim::ModemOptions mo;
    mo.baud = 19200;
    ModemRig rig(channel::Gsm, mo);
    ModemDialogue d = dialogueOn(rig);
    EXPECT_EQ(d.dial(rig.request("AT", true)), 1);
    EXPECT_FALSE(rig.trace.has("Эхо откл скор 5"));
    EXPECT_TRUE(rig.trace.has("Эхо откл скор 6"));
    EXPECT_EQ(rig.line->params().baud, 19200);
}

TEST(ModemDialogue, SilentGsmModemGivesMinus25)
{
    sim::ModemOptions mo;
    mo.silent = true;
    ModemRig rig(channel::Gsm, mo);
    ModemDialogue d = dialogueOn(rig);
    const int64_t start = rig.clock.nowMs();
    EXPECT_EQ(d.dial(rig.request("AT", true)), modem::GsmSilent);
    EXPECT_LT(rig.secondsSince(start), 6.0);
    EXPECT_EQ(rig.line->params().baud, 19200);
}

TEST(ModemDialogue, GsmRegistrationStates)
{
    struct Case {
        const char* name;
        int state;
        int laterState;     // -1: stays
        bool words;
        int result;
        double minSeconds, maxSeconds;   // of the registration check
    };
    const Case cases[] = {
        {"home", 1, -1, true, 1, 0, 5},
        {"roaming", 5, -1, true, modem::NotRegistered, 28, 33},
        {"none", 0, -1, true, modem::NotRegistered, 28, 33},
        {"searching, then home", 2, 1, true, 1, 8, 13},
        {"digit answers", 1, -1, false, modem::NotRegistered, 28, 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ModemOptions mo;
        mo.registration = c.state;
        ModemRig rig(channel::Gsm, mo);
        if (c.laterState >= 0)
            rig.pump.at(10000, [&] { rig.modem->options().registration = c.laterState; });
        ModemDialogue d = dialogueOn(rig);
        const int r = d.dial(rig.request("AT", c.words));
        EXPECT_EQ(r, c.result);
        const int queries = int(std::count(rig.trace.lines.begin(), rig.trace.lines.end(),
                                           "   AT V1 E0 +CREG ?<0D><0A>"));
        // Each query reads for a second, so the count of queries is the time the check took.
        EXPECT_GE(queries, std::max(1, int(c.minSeconds)));
        EXPECT_LE(queries, int(c.maxSeconds) + 1);
        EXPECT_EQ(rig.modem->calls(), c.result == 1 ? 1 : 0);
    }
}

TEST(ModemDialogue, HangUps)
{
    {
        ModemRig rig;
        ModemDialogue d = dialogueOn(rig);
        ASSERT_EQ(d.dial(rig.request("AT V0 E0", false)), 12);
        EXPECT_FALSE(hangUpModem(*rig.line, rig.clock, rig.trace, channel::Hayes));
        EXPECT_FALSE(rig.modem->inCall());
        EXPECT_FALSE(rig.line->modemStatus().rlsd);
        EXPECT_FALSE(rig.line->controlLines().dtr);
        EXPECT_FALSE(rig.line->controlLines().rts);
    }
    {
        ModemRig rig(channel::Gsm);
        ModemDialogue d = dialogueOn(rig);
        ASSERT_EQ(d.dial(rig.request("AT", true)), 1);
        rig.trace.lines.clear();
        EXPECT_FALSE(hangUpModem(*rig.line, rig.clock, rig.trace, channel::Gsm));
        EXPECT_FALSE(rig.modem->inCall());
        const std::vector<std::string> expected = {
            ">> 2B 2B 2B  (+++)", ">> 41 54 48 0D 0A  (ATH)", "<< 0D 0A 4F 4B 0D (<0D><0A>OK<0D>)"};
        EXPECT_EQ(rig.trace.lines, expected);   // the answer to +++ is read after ATH
        EXPECT_TRUE(rig.line->controlLines().dtr);
    }
    {
        // A GSM modem that takes no escape hears +++ and ATH as data: DTR ends the call.
        sim::ModemOptions mo;
        mo.ignoresHangUp = true;
        ModemRig rig(channel::Gsm, mo);
        ModemDialogue d = dialogueOn(rig);
        ASSERT_EQ(d.dial(rig.request("AT", true)), 1);
        rig.trace.lines.clear();
        EXPECT_TRUE(hangUpModem(*rig.line, rig.clock, rig.trace, channel::Gsm));
        EXPECT_FALSE(rig.modem->inCall());
        EXPECT_EQ(rig.modem->hangUps(), 1);
        EXPECT_EQ(std::count(rig.trace.lines.begin(), rig.trace.lines.end(), ">> 2B 2B 2B  (+++)"), 2);
        EXPECT_EQ(rig.trace.lines.back(), "Сброс DTR GSM-модема, порт закрыт");
    }
}

TEST(ModemDialogue, OnlineWorkThroughTheCallThenHangUp)
{
    struct Case {
        int type;
        sim::Protocol protocol;
        bool words;
    };
    for (const Case c : {Case{channel::Hayes, sim::Protocol::Traditional, false},
                         Case{channel::Gsm, sim::Protocol::Ft12, true}}) {
        SCOPED_TRACE(c.type);
        ModemRig rig(c.type, {}, c.protocol);
        ModemDialogue d = dialogueOn(rig);
        ASSERT_TRUE(countsAsConnected(d.dial(rig.request(c.words ? "AT V1 E0" : "AT V0 E0", c.words))));
        VersionInfo info;
        ASSERT_EQ(rig.commands.readVersion(*rig.line, c.type, info), 0);
        ASSERT_EQ(rig.commands.readVersion(*rig.line, c.type, info), 0);

        EXPECT_FALSE(hangUpModem(*rig.line, rig.clock, rig.trace, c.type));
        EXPECT_FALSE(rig.modem->inCall());
        rig.engine.state().attemptCount = 1;
        EXPECT_NE(rig.commands.readVersion(*rig.line, c.type, info), 0);
    }
}

TEST(ModemDialogue, VanishedPortEndsEveryWaitAtOnce)
{
    for (const int type : {channel::Hayes, channel::Gsm}) {
        ModemRig rig(type);
        rig.faults->always(sim::Fault::PortGone);
        ModemDialogue d = dialogueOn(rig);
        const int64_t start = rig.clock.nowMs();
        const int r = d.dial(rig.request("AT V1 E0", true));
        EXPECT_EQ(r, type == channel::Gsm ? modem::GsmSilent : 3);
        EXPECT_TRUE(d.portFailed());
        EXPECT_LT(rig.secondsSince(start), 10.0);
    }
}
