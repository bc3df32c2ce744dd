// The modem window's dial as the session runs it (fields, result texts, the link flag), the
// hang-up, and the online view's automatic redial, against the simulated modem.
#include <gtest/gtest.h>

#include <deque>

#include "ScriptedOperator.h"
#include "TestModemRig.h"
#include "channels/ModemSession.h"

using namespace kv;
using kv::test::ModemRig;

namespace {

ModemFields fields(std::string init, bool words, std::string phone = "123")
{
    ModemFields f;
    f.init = std::move(init);
    f.phone = std::move(phone);
    f.words = words;
    f.tone = true;
    return f;
}

struct SessionRig : ModemRig {
    explicit SessionRig(int type = channel::Hayes, sim::ModemOptions mo = {}) : ModemRig(type, mo) {}
    ~SessionRig()
    {
        for (const auto& p : op.problems())
            ADD_FAILURE() << p;
    }
    kv::test::ScriptedOperator op;
    ModemSession session{clock, pump, trace, op};
};

// A port that answers the GSM probe and then only rings: a call coming in while we prepare ours.
class RingingPort final : public SerialPort {
public:
    explicit RingingPort(sim::VirtualClock& clock) : clock_(clock) {}
    bool setParams(const LineParams& p) override { params_ = p; return true; }
    LineParams params() const override { return params_; }
    bool setDtr(bool) override { return true; }
    bool setRts(bool) override { return true; }
    bool setBreak(bool) override { return true; }
    ModemStatus modemStatus() override { return {true, true, false}; }
    void setTimeouts(int readMs, int) override { readMs_ = readMs; }
    int read(uint8_t* buf, int n) override
    {
        int got = 0;
        while (got < n && !pending_.empty()) {
            buf[got++] = pending_.front();
            pending_.pop_front();
        }
        if (got == 0)
            clock_.sleepMs(readMs_);
        return got;
    }
    int write(const uint8_t* buf, int n) override
    {
        const std::string s(reinterpret_cast<const char*>(buf), std::size_t(n));
        const std::string answer = s.find("ATE0") != std::string::npos ? "\r\nOK\r\n" : "\r\nRING\r\n";
        pending_.insert(pending_.end(), answer.begin(), answer.end());
        return n;
    }
    void discardInput() override { pending_.clear(); }

private:
    sim::VirtualClock& clock_;
    LineParams params_;
    int readMs_ = 1000;
    std::deque<uint8_t> pending_;
};

} // namespace

TEST(ModemSession, FieldsComeFromTheSettings)
{
    ChannelSettings s;
    s.inimod = "at v1 e0 s7=45";
    s.phone = "8-495-123";
    s.simbol = true;
    s.pulse = true;
    const ModemFields f = modemFieldsFrom(s);
    EXPECT_EQ(f.init, "AT V1 E0 S7=45");
    EXPECT_EQ(f.phone, "8-495-123");
    EXPECT_TRUE(f.words);
    EXPECT_FALSE(f.tone);
}

TEST(ModemSession, ConnectedDialMarksTheLinkUpAndLogsTheDialogue)
{
    SessionRig rig;
    rig.state.connected = true;   // left from an earlier call
    EXPECT_TRUE(rig.session.bringUp(rig.line.get(), channel::Hayes, fields("AT V0 E0 S7=60", false)));
    const ModemDialOutcome& out = rig.session.lastDial();
    EXPECT_EQ(out.result, 12);
    EXPECT_TRUE(out.connected);
    EXPECT_TRUE(rig.session.connected());
    EXPECT_EQ(out.afterDial, "2 12 ");
    EXPECT_EQ(out.afterInit, out.log[0]);
    EXPECT_TRUE(rig.trace.has(out.log[0]));
    EXPECT_TRUE(rig.trace.has(out.log[1]));
    EXPECT_EQ(rig.trace.lines.back(), out.log[1]);
    EXPECT_TRUE(rig.modem->dataMode());
}

TEST(ModemSession, ResultTextsOfFailedDials)
{
    struct Case {
        const char* name;
        int type;
        sim::ModemOptions mo;
        bool words;
        bool cancelAt20s;
        int result;
        std::string afterDial;
    };
    sim::ModemOptions silent;
    silent.silent = true;
    sim::ModemOptions roaming;
    roaming.registration = 5;
    sim::ModemOptions busy;
    busy.fate = sim::CallFate::Busy;
    sim::ModemOptions slow;
    slow.answerMs = 60000;
    const Case cases[] = {
        {"digits, silent Hayes", channel::Hayes, silent, false, false, 0,
         "Нет ответа от модема в течении 80  секунд"},
        {"silent GSM", channel::Gsm, silent, true, false, modem::GsmSilent, "Нет ответа от Gsm-модема "},
        {"roaming GSM", channel::Gsm, roaming, true, false, modem::NotRegistered,
         "Отсутствует регистрация Gsm-модема в сети "},
        {"digits, cancelled", channel::Hayes, slow, false, true, modem::Cancelled,
         "Выключено питание модема или выход по запросу оператора"},
        {"words, busy", channel::Hayes, busy, true, false, modem::Busy, "BUSY "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig(c.type, c.mo);
        if (c.cancelAt20s)
            rig.pump.at(20000, [&] { rig.session.cancel(); });
        rig.session.windowOpened();
        const ModemDialOutcome out =
            rig.session.dial(rig.line.get(), c.type, fields(c.words ? "AT V1 E0 S7=60" : "AT V0 E0 S7=60", c.words));
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.afterDial, c.afterDial);
        EXPECT_FALSE(out.connected);
        EXPECT_FALSE(rig.session.connected());
    }
}

TEST(ModemSession, WithoutAPortTheDialFailsAsIfTheModemWereOff)
{
    SessionRig rig;
    const ModemDialOutcome out = rig.session.dial(nullptr, channel::Hayes, fields("AT V0", false));
    EXPECT_EQ(out.afterDial, kModemOffMessage);
    EXPECT_FALSE(rig.session.connected());
}

TEST(ModemSession, RingDuringTheGsmRegistrationIsNoCall)
{
    sim::VirtualClock clock;
    kv::test::TimedPump pump(clock);
    kv::test::KeptTrace trace;
    kv::test::ScriptedOperator op;
    ModemSession session(clock, pump, trace, op);
    RingingPort port(clock);
    EXPECT_FALSE(session.bringUp(&port, channel::Gsm, fields("AT", true)));
    EXPECT_EQ(session.lastDial().result, modem::NoCarrier);
    EXPECT_EQ(session.lastDial().afterDial, "ERR (time-out) код =3");
    EXPECT_TRUE(op.problems().empty());
}

TEST(ModemSession, HangUpMarksTheLinkDown)
{
    for (const bool ignores : {false, true}) {
        sim::ModemOptions mo;
        mo.ignoresHangUp = ignores;
        SessionRig rig(channel::Gsm, mo);
        ASSERT_TRUE(rig.session.bringUp(rig.line.get(), channel::Gsm, fields("AT", true)));
        rig.clock.sleepMs(5000);
        // Only the modem that ignored +++ and ATH leaves the port to be closed.
        EXPECT_EQ(rig.session.hangUp(*rig.line, channel::Gsm), ignores);
        EXPECT_FALSE(rig.session.connected());
        EXPECT_FALSE(rig.modem->inCall());
    }
}

TEST(ModemSession, RedialAfterSilenceRetriesEvery30sUntilItConnects)
{
    SessionRig rig;
    const ModemFields f = fields("AT V0 E0 S7=60", false);
    ASSERT_TRUE(rig.session.bringUp(rig.line.get(), channel::Hayes, f));

    AutoRedial redial(rig.clock, rig.session.state(), 5);
    AutoRedial::Hooks hooks;
    hooks.release = [&] { rig.commands.release(*rig.line, channel::Hayes); };
    hooks.hangUp = [&] { rig.session.hangUp(*rig.line, channel::Hayes); };
    hooks.connect = [&] {
        // The connect step opens the modem window, which dials at once during a redial.
        EXPECT_TRUE(rig.session.state().redialInProgress);
        return rig.session.bringUp(rig.line.get(), channel::Hayes, f);
    };

    struct Redial {
        int64_t atMs;
        int interval;
    };
    std::vector<Redial> redials;
    const int64_t startMs = rig.clock.nowMs();
    int64_t lastGoodPollMs = startMs;
    int interval = AutoRedial::kNormalIntervalMs;
    bool lineBroken = false;
    // The online view's timer: a poll on each tick, then the redial check.
    for (int tick = 0; tick < 2000 && redials.size() < 4; ++tick) {
        rig.clock.sleepMs(interval);
        if (!lineBroken && rig.clock.nowMs() - startMs > 120000) {
            // Two minutes of good polls, then the controller falls silent and the number is busy.
            rig.faults->always(sim::Fault::NoAnswer);
            rig.modem->options().fate = sim::CallFate::Busy;
            lineBroken = true;
        }
        VersionInfo info;
        if (rig.commands.readVersion(*rig.line, channel::Hayes, info) == 0) {
            redial.renew();
            lastGoodPollMs = rig.clock.nowMs();
        }
        if (redial.due(channel::Hayes, true)) {
            const int64_t at = rig.clock.nowMs();
            if (redials.size() == 2) {
                // The third redial finds the line working again.
                rig.faults->clear(sim::Fault::NoAnswer);
                rig.modem->options().fate = sim::CallFate::Connect;
            }
            interval = redial.run(prot::Traditional, channel::Hayes, hooks);
            redials.push_back({at, interval});
            if (redials.size() == 3)
                break;
        }
    }
    ASSERT_EQ(redials.size(), 3u);
    // Five minutes of silence before the first redial, which hangs the live call up.
    EXPECT_GE(redials[0].atMs - lastGoodPollMs, 300000);
    EXPECT_LT(redials[0].atMs - lastGoodPollMs, 330000);
    EXPECT_EQ(rig.modem->hangUps(), 1);
    EXPECT_EQ(redials[0].interval, AutoRedial::kRetryIntervalMs);
    EXPECT_EQ(redials[1].interval, AutoRedial::kRetryIntervalMs);
    EXPECT_EQ(redials[2].interval, AutoRedial::kNormalIntervalMs);
    // A failed redial is tried again on the next tick, 30 s (plus that tick's poll) later.
    const int64_t gap = redials[2].atMs - redials[1].atMs;
    EXPECT_GE(gap, 30000);
    EXPECT_LT(gap, 90000);
    EXPECT_EQ(rig.modem->calls(), 4);
    EXPECT_TRUE(rig.session.connected());
    EXPECT_FALSE(redial.due(channel::Hayes, true));
    VersionInfo info;
    EXPECT_EQ(rig.commands.readVersion(*rig.line, channel::Hayes, info), 0);
}

TEST(ModemSession, RedialIsDueOnlyOnAHayesLineAllowedToRedial)
{
    sim::VirtualClock clock;
    ModemState state;
    AutoRedial redial(clock, state, 5);
    clock.sleepMs(5 * 60 * 1000 - 1000);
    EXPECT_FALSE(redial.due(channel::Hayes, true));
    clock.sleepMs(2000);
    EXPECT_TRUE(redial.due(channel::Hayes, true));
    EXPECT_FALSE(redial.due(channel::Hayes, false));
    EXPECT_FALSE(redial.due(channel::Gsm, true));
    redial.setMinutes(0);
    EXPECT_FALSE(redial.due(channel::Hayes, true));
}
