// The online session: group polling on its schedule, the displayed group, the lamps, the
// failure and telesignal watches with their sound, the redial and the clock caption, all
// against the simulated controller in virtual time.
#include "OnlineRig.h"

#include <filesystem>
#include <fstream>

#include "LineKinds.h"
#include "protocol/LineControl.h"
#include "sim/Faults.h"

using namespace kv;
using namespace kv::test;

namespace {

const EntrySpec kSupply{0x80, 0x01, 0, 8, "Температура подачи"};
const EntrySpec kReturn{0x80, 0x02, 0, 8, "Температура обратной воды"};
const EntrySpec kFlow{0x80, 0x05, 0, 8, "Расход подачи"};
const EntrySpec kFlowBack{0x80, 0x06, 0, 8, "Расход обратной воды"};
const EntrySpec kPower{0x80, 0x09, 0, 8, "Тепловая мощность"};

EntrySpec bounded(EntrySpec e, double lo, double hi)
{
    e.lower = lo;
    e.upper = hi;
    return e;
}

class Session : public OnlineRig {
protected:
    void threeGroups()
    {
        addGroup("Подача", 1, {kSupply, kReturn});
        addGroup("Расходы", 2, {kFlow, kFlowBack});
        addGroup("Тепло", 5, {kPower});
        connect();
        writeDescriptors();
    }
};

} // namespace

TEST_F(Session, ThreeGroupsAreReadOnTheFirstTickAndThenEachOnItsOwnPeriod)
{
    threeGroups();
    open();
    EXPECT_EQ(display_.header, "Подача");
    EXPECT_EQ(display_.names[1], "Температура подачи");
    EXPECT_EQ(display_.tableRows, 2);
    EXPECT_EQ(display_.groupRows[3], "Тепло");
    EXPECT_EQ(display_.groupRows[4], "");

    std::vector<std::array<int, 3>> perTick;
    for (int t = 0; t < 11; ++t) {
        display_.statuses.clear();
        ticks(1);
        perTick.push_back({display_.reads("Подача"), display_.reads("Расходы"), display_.reads("Тепло")});
    }
    for (int t = 0; t < 11; ++t) {
        SCOPED_TRACE("tick " + std::to_string(t + 1));
        EXPECT_EQ(perTick[std::size_t(t)][0], 1);
        EXPECT_EQ(perTick[std::size_t(t)][1], t % 2 == 0 ? 1 : 0);
        EXPECT_EQ(perTick[std::size_t(t)][2], t % 5 == 0 ? 1 : 0);
    }
    EXPECT_EQ(display_.statuses.back(), "Чтение группы Тепло    OK");
    // Values of the displayed group are on the screen, right-aligned like the group shows them.
    EXPECT_EQ(display_.values[1], groups_.at(0).valueStr(0, true));
    EXPECT_EQ(display_.values[1].size(), 13u);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampNormal);
    EXPECT_EQ(display_.busyDepth, 0);
}

TEST_F(Session, ATickThatComesLateCountsEveryCountdownDownByTheElapsedUnits)
{
    threeGroups();
    open();
    ticks(1);
    EXPECT_EQ(session_->countdown(0), 1);
    EXPECT_EQ(session_->countdown(1), 2);
    EXPECT_EQ(session_->countdown(2), 5);

    display_.statuses.clear();
    // Three seconds are three units (3.47 truncated): the first two groups are overdue.
    tickAfterMs(3000);
    EXPECT_EQ(display_.reads("Подача"), 1);
    EXPECT_EQ(display_.reads("Расходы"), 1);
    EXPECT_EQ(display_.reads("Тепло"), 0);
    EXPECT_EQ(session_->countdown(0), 1);
    EXPECT_EQ(session_->countdown(1), 2);
    EXPECT_EQ(session_->countdown(2), 2);
}

TEST_F(Session, AFailedGroupReadKeepsTheOldValuesAndIsRetriedOnePeriodLater)
{
    threeGroups();
    open();
    ticks(1);
    const auto shown = display_.values;
    ASSERT_FALSE(shown.at(1).empty());

    sim_->station().faults().always(sim::Fault::NoAnswer);
    display_.statuses.clear();
    ticks(1);
    EXPECT_EQ(session_->status(), "Чтение группы Подача  Нет ответа от ЗЕНТАР ");
    EXPECT_EQ(display_.values, shown);
    EXPECT_TRUE(session_->received(0));
    EXPECT_EQ(session_->countdown(0), 1);   // waits its period like a group that was read
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampNormal);

    sim_->station().faults().clearAll();
    display_.statuses.clear();
    ticks(1);
    EXPECT_EQ(display_.reads("Подача"), 1);
    EXPECT_EQ(session_->status().substr(session_->status().size() - 4), "  OK");
}

TEST_F(Session, AGroupOutOfSightStaysOutOfToleranceUntilTheNextActivation)
{
    // The supply temperature leaves 60..100 from 20 s to 40 s and comes back by 60 s.
    addGroup("Подача", 1, {bounded(kSupply, 60, 100), kReturn});
    addGroup("Контроль", 1, {bounded(kSupply, 60, 100)});
    connect();
    sim::Scenario course(ctl());
    course.course(sim::Scenario::kDemoAddress, {{0, 80}, {10, 80}, {20, 120}, {40, 120}, {60, 80}});
    course.install();
    writeDescriptors();
    open();

    ticks(5);
    EXPECT_EQ(session_->groupState(0), 1);
    EXPECT_EQ(session_->groupState(1), 1);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampNormal);
    EXPECT_FALSE(display_.shaded[1]);

    ticks(25);   // out of the band
    EXPECT_EQ(session_->groupState(0), 0);
    EXPECT_EQ(session_->groupState(1), 0);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampAlarm);
    EXPECT_EQ(display_.lampVisible[int(Lamp::Parameters)], true);
    EXPECT_TRUE(display_.shaded[1]);
    EXPECT_FALSE(display_.shaded[2]);
    EXPECT_EQ(display_.rowLamps[1], kLampAlarm);
    EXPECT_EQ(display_.rowLamps[2], kLampNormal);

    ticks(40);   // back inside: the displayed group recovers, the other one does not
    EXPECT_EQ(session_->groupState(0), 1);
    EXPECT_EQ(session_->groupState(1), 0);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampAlarm);
    EXPECT_FALSE(display_.shaded[1]);
    EXPECT_EQ(display_.rowLamps[1], kLampNormal);

    session_->close();
    session_->activate();
    ticks(1);
    EXPECT_EQ(session_->groupState(1), 1);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), kLampNormal);
}

TEST_F(Session, TheParametersLampSoundsFileOneOnEveryPassWhileSomethingIsOut)
{
    ws_->settings().avarYes = true;
    ws_->settings().voice[0] = (dir_ / "alarm1.wav").string();
    ws_->soundOk = {true, false, false};
    addGroup("Подача", 2, {bounded(kSupply, 0, 1)});
    connect();
    writeDescriptors();
    open();
    ticks(4);
    EXPECT_EQ(sound_.files, std::vector<std::string>(2, (dir_ / "alarm1.wav").string()));
    EXPECT_EQ(sound_.beeps, 0);

    session_->toggleSound();
    EXPECT_EQ(sound_.stops, 1);
    EXPECT_EQ(display_.soundPanel, "Звуковое оповещение выключено");
    EXPECT_EQ(display_.soundItem, "Включить звук");
    EXPECT_FALSE(display_.speakerVisible);
    EXPECT_FALSE(ws_->settings().avarYes);
    ticks(4);
    EXPECT_EQ(sound_.files.size(), 2u);
}

TEST_F(Session, NamesAreRewrittenOnlyWhenAskedAndRowLampsOnlyWhileSomethingIsOut)
{
    addGroup("Подача", 1, {kSupply, kReturn, kFlow});
    addGroup("Тепло", 1, {kPower});
    connect();
    writeDescriptors();
    open();
    ticks(1);   // the first reply rewrites every name
    const int rowLamps = display_.rowLampDraws;
    display_.nameWrites = display_.valueWrites = 0;
    ticks(3);
    EXPECT_EQ(display_.nameWrites, 0);
    EXPECT_EQ(display_.valueWrites, 9);
    EXPECT_EQ(display_.rowLampDraws, rowLamps);

    // A double click on an empty row of the group list changes nothing.
    session_->selectGroupRow(5);
    EXPECT_EQ(session_->displayedGroup(), 0);
    EXPECT_EQ(display_.header, "Подача");

    // Another group: its names, the rows below it emptied, its values on the next reply.
    session_->selectGroupRow(2);
    EXPECT_EQ(display_.header, "Тепло");
    EXPECT_EQ(display_.names[1], "Тепловая мощность");
    EXPECT_EQ(display_.names[2], "");
    EXPECT_EQ(display_.values[3], "");
    EXPECT_FALSE(display_.values[1].empty());   // it was read before, out of sight
    EXPECT_EQ(display_.rowLamps[1], kLampNormal);
    EXPECT_EQ(display_.rowLamps[2], 0);
}

TEST_F(Session, WithoutGroupsNothingIsPolledButTheFailureWatchStillRuns)
{
    ws_->settings().timotk = 30;
    connect();
    open(false);
    EXPECT_FALSE(display_.lampVisible[int(Lamp::Parameters)]);
    EXPECT_TRUE(display_.lampVisible[int(Lamp::BlockFailures)]);
    EXPECT_FALSE(display_.lampVisible[int(Lamp::Signals)]);
    ticks(3);
    EXPECT_EQ(display_.reads("Подача"), 0);
    EXPECT_EQ(session_->lamp(Lamp::Parameters), 0);
    EXPECT_EQ(session_->lamp(Lamp::BlockFailures), kLampNormal);

    op_.expectMessage(kNoGroupsPrintMessage);
    GroupPrintout p;
    EXPECT_FALSE(session_->groupPrintout(p));
}

TEST_F(Session, FailureLampsPagesAndSound)
{
    ws_->settings().timotk = 30;
    ws_->settings().avarYes = true;
    connect();
    // Failures present at the first read: red lamps, no sound.
    ctl().setFailure(7, 0x01, true);    // record byte 63: a pipeline failure
    ctl().setFailure(8, 0x04, true);    // record byte 64: a sensor failure
    open(false);
    ticks(1);
    EXPECT_EQ(session_->lamp(Lamp::BlockFailures), kLampAlarm);
    EXPECT_EQ(session_->lamp(Lamp::SensorFailures), kLampAlarm);
    EXPECT_EQ(session_->failures().blockPage(), 1);
    EXPECT_EQ(session_->failurePageForLamp(Lamp::BlockFailures), 1);
    EXPECT_EQ(session_->failurePageForLamp(Lamp::SensorFailures), 2);
    EXPECT_EQ(session_->failurePageForMenu(), 2);
    EXPECT_EQ(sound_.beeps, 0);
    EXPECT_EQ(session_->failures().countdown(), 30);

    // A change while failures are present sounds file 2 (no file: the beep), once.
    ctl().setFailure(1, 0x10, true);    // record byte 57
    ticks(29);
    EXPECT_EQ(sound_.beeps, 0);
    ticks(1);
    EXPECT_EQ(session_->failures().blockPage(), 0);
    EXPECT_EQ(sound_.beeps, 1);
    EXPECT_EQ(session_->sound().played(2), 1);
    ticks(30);
    EXPECT_EQ(sound_.beeps, 1);

    // Failures that go away: green, silently.
    ctl().setFailure(1, 0x10, false);
    ctl().setFailure(7, 0x01, false);
    ctl().setFailure(8, 0x04, false);
    ticks(30);
    EXPECT_EQ(session_->lamp(Lamp::BlockFailures), kLampNormal);
    EXPECT_EQ(session_->lamp(Lamp::SensorFailures), kLampNormal);
    EXPECT_EQ(sound_.beeps, 1);

    // A failed read changes nothing and waits a whole period.
    ctl().setFailure(2, 0x01, true);
    sim_->station().faults().always(sim::Fault::NoAnswer);
    ticks(30);
    EXPECT_EQ(session_->lamp(Lamp::BlockFailures), kLampNormal);
    EXPECT_EQ(session_->failures().countdown(), 30);
}

TEST(FailureWatchCountdown, PeriodsAboveOneHundredTwentySevenSecondsAreKept)
{
    for (int period : {1, 30, 127, 128, 200, 255}) {
        SCOPED_TRACE(period);
        FailureWatch w;
        w.start(period);
        ASSERT_TRUE(w.countDown(1));   // the first poll on the first tick
        w.pollStarted();
        int ticks = 0;
        while (!w.countDown(1))
            ++ticks;
        EXPECT_EQ(ticks + 1, period);
    }
    FailureWatch off;
    off.start(0);
    EXPECT_FALSE(off.enabled());
    EXPECT_FALSE(off.countDown(5));
}

TEST_F(Session, ATelesignalAlarmSoundsOnEveryPollWhileTheSoundIsOn)
{
    ws_->settings().timTc = 2;
    ws_->settings().avarYes = true;
    BitSignal s;
    s.bit = 3;
    s.normal = 0;
    s.kind = 0;   // input buffer 0
    s.name = "Дверь";
    ASSERT_TRUE(signals_.append(s));
    connect();
    open(false);
    EXPECT_TRUE(display_.lampVisible[int(Lamp::Signals)]);
    EXPECT_TRUE(display_.facts.bitSignals);

    ticks(1);
    EXPECT_EQ(session_->lamp(Lamp::Signals), kLampNormal);
    EXPECT_EQ(session_->sound().played(3), 0);

    ctl().setBit(sim::Controller::Buffer::Input, 0, 3, true);
    ticks(6);   // three polls
    EXPECT_EQ(session_->lamp(Lamp::Signals), kLampAlarm);
    EXPECT_EQ(session_->sound().played(3), 3);

    session_->toggleSound();
    ticks(4);
    EXPECT_EQ(session_->sound().played(3), 3);
    EXPECT_EQ(session_->lamp(Lamp::Signals), kLampAlarm);
}

TEST_F(Session, AWindowThatMustNotShareTheLineHoldsThePollsUntilItCloses)
{
    addGroup("Подача", 1, {kSupply});
    connect();
    writeDescriptors();
    open();
    ticks(1);

    // On a direct line polls go on between the window's own exchanges; the redial waits.
    session_->childOpened(OnlineCommand::Archives);
    EXPECT_TRUE(session_->pollAllowed());
    EXPECT_FALSE(session_->redialAllowed());
    session_->childClosed(OnlineCommand::Archives);
    EXPECT_TRUE(session_->redialAllowed());

    // A GSM line carries one conversation at a time.
    ws_->settings().channelType = channel::Gsm;
    session_->childOpened(OnlineCommand::SetTime);
    EXPECT_FALSE(session_->pollAllowed());
    display_.statuses.clear();
    ticks(3);
    EXPECT_EQ(display_.reads("Подача"), 0);
    session_->childClosed(OnlineCommand::SetTime);
    EXPECT_TRUE(session_->pollAllowed());
    ws_->settings().channelType = channel::Rs232;
    ticks(1);
    EXPECT_EQ(display_.reads("Подача"), 1);

    // The failure lamp's window leaves the redial alone.
    session_->childOpened(OnlineCommand::FailureLampBlock);
    EXPECT_TRUE(session_->redialAllowed());
}

TEST_F(Session, ASilentModemLineIsRedialledAndAFailedRedialIsRetriedEveryThirtySeconds)
{
    connect();
    ws_->settings().channelType = channel::Hayes;
    modem_.connected = true;
    std::vector<bool> answers{false, false, true};
    int calls = 0;
    connectScript_ = [&] { return answers[std::size_t(calls++)]; };
    open(false, 5);

    ticks(5 * 60 - 2);
    EXPECT_EQ(calls, 0);
    ticks(3);
    EXPECT_EQ(hangUps_, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(modem_.redialInProgress);
    EXPECT_FALSE(modem_.connected);
    EXPECT_EQ(session_->timerIntervalMs(), 30000);
    EXPECT_TRUE(session_->timerRunning());

    ticks(1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(session_->timerIntervalMs(), 30000);
    ticks(1);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(session_->timerIntervalMs(), 1000);
    EXPECT_NEAR(session_->redialDeadline(), clock_.now() + 5.0 / 1440, 1e-6);
    ticks(60);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(hangUps_, 1);   // the link was not marked up again by the script
}

TEST_F(Session, ClockCaptionDatesThePrintoutFromTheControllersClock)
{
    addGroup("Подача", 1, {kSupply, kReturn});
    connect();
    writeDescriptors();
    ctl().setDateTime(text::encodeDate(2024, 3, 5) + (8 * 60 + 7) / 1440.0 + 10 / 86400.0);
    open();
    ticks(1);
    GroupPrintout p;
    ASSERT_TRUE(session_->groupPrintout(p));
    EXPECT_EQ(p.title, "Подача");
    EXPECT_EQ(p.subtitle, "За 5  марта  2024  года   время :08:07  ");
    EXPECT_EQ(p.names, (std::vector<std::string>{"Температура подачи", "Температура обратной воды"}));
    ASSERT_EQ(p.values.size(), 2u);

    std::string subtitle;
    EXPECT_EQ(session_->clockCaption(subtitle), text::encodeDate(2024, 3, 5));

    // A controller that does not answer: no date, the subtitle keeps what it had.
    sim_->station().faults().always(sim::Fault::NoAnswer);
    subtitle = "За ";
    EXPECT_EQ(session_->clockCaption(subtitle), 0.0);
    EXPECT_EQ(subtitle, "За ");
}

TEST_F(Session, ClosingKeepsTheStoredBoundsWhenNoGroupsWereShown)
{
    namespace fs = std::filesystem;
    const std::string file = ws_->toleranceFile();
    {
        std::ofstream f(file, std::ios::binary);
        const auto rec = toleranceRecord(0, 0, 60, 100);
        f.write(reinterpret_cast<const char*>(rec.data()), std::streamsize(rec.size()));
    }
    addGroup("Подача", 1, {bounded(kSupply, 10, 20), kReturn});
    connect();
    writeDescriptors();
    open(false);   // the groups were dropped for this online work
    session_->close();
    EXPECT_EQ(fs::file_size(file), kToleranceRecordSize);
    EXPECT_TRUE(session_->initPending());
    EXPECT_FALSE(session_->timerRunning());

    // With groups the bounds of the list are written back.
    session_->setSetup({true, 0});
    session_->activate();
    session_->close();
    EXPECT_EQ(fs::file_size(file), 2 * kToleranceRecordSize);
}

TEST_F(Session, OnTheCanAdapterLineGroupsAreReadEntryByEntry)
{
    ws_->settings().channelType = channel::CanBus;
    addGroup("Подача", 1, {kSupply, kReturn});
    connect();
    for (int i = 0; i < groups_.size(); ++i) {   // on this line the descriptor stays in the computer
        std::array<uint8_t, kDescrAreaSize> area{};
        groups_.at(i).makeDescr(area);
    }
    open();
    ticks(1);
    EXPECT_EQ(session_->status(), "Чтение группы Подача    OK");
    EXPECT_EQ(sim_->station().controller().lastCanControl(), 2);
    // The values arrive as IEEE singles and are shown like any other.
    EXPECT_NE(display_.values[1].find('.'), std::string::npos);
    EXPECT_NE(display_.values[2].find('.'), std::string::npos);
    const auto shown = display_.values;

    sim_->station().faults().always(sim::Fault::NoAnswer);
    ticks(1);
    EXPECT_EQ(session_->status(), "Чтение группы Подача    Нет ответа от устройства");
    EXPECT_EQ(display_.values, shown);
}

TEST_F(Session, ATemporaryGroupAddedWhileTheViewIsOpenIsNotPolled)
{
    addGroup("Подача", 1, {kSupply});
    connect();
    writeDescriptors();
    open();
    // The one-off reading works on an empty group it appends to the list for a while.
    groups_.append(std::make_unique<ParamGroup>());
    display_.statuses.clear();
    ticks(3);
    EXPECT_EQ(display_.reads("Подача"), 3);
    EXPECT_EQ(display_.reads(""), 0);
    EXPECT_EQ(session_->groupCount(), 1);
    groups_.remove(1);
    ticks(1);
    EXPECT_EQ(display_.reads("Подача"), 4);
}

TEST_F(Session, GroupsFailuresAndSignalsAreReadOnEveryKindOfLineInEveryProtocol)
{
    addGroup("Подача", 1, {kSupply, kReturn, kPower});
    BitSignal door;
    door.bit = 3;
    door.normal = 0;
    door.name = "Дверь";
    ASSERT_TRUE(signals_.append(door));
    for (int prot = 0; prot < kProtocols; ++prot) {
        for (int type = 0; type < kChannelTypes; ++type) {
            SCOPED_TRACE("protocol " + std::to_string(prot) + ", channel type " + std::to_string(type));
            auto& s = ws_->settings();
            useLineKind(s, prot, type);
            s.timotk = 2;
            s.timTc = 2;
            ws_->modemLinkUp = false;
            connect();
            // The adapter's line reads groups entry by entry; every other line reads them with
            // the group read, so the descriptors must be in the controller (online work writes
            // them on the direct lines; a gateway is set up beforehand).
            if (type != channel::CanBus)
                writeDescriptors();
            ctl().setFailure(7, 0x01, true);
            ctl().setBit(sim::Controller::Buffer::Input, 0, 3, true);
            open();
            ticks(2);
            EXPECT_EQ(session_->status(), "Чтение группы Подача    OK");
            for (int row = 1; row <= 3; ++row)
                EXPECT_NE(display_.values[std::size_t(row)].find('.'), std::string::npos) << row;
            EXPECT_EQ(session_->lamp(Lamp::BlockFailures), kLampAlarm);
            EXPECT_EQ(session_->lamp(Lamp::SensorFailures), kLampNormal);
            EXPECT_EQ(session_->lamp(Lamp::Signals), kLampAlarm);
            session_->close();
            session_.reset();
            ws_->hangUpModem();
            ws_->closePort();
        }
    }
}
