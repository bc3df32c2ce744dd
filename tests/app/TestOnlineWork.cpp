#include <gtest/gtest.h>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/OnlineWork.h"
#include "app/Workspace.h"
#include "lists/GroupList.h"
#include "lists/ParamGroup.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"
#include "text/Files.h"

namespace fs = std::filesystem;
using namespace kv;

namespace {

// "Работа с ЗЕНТАР" on a copy of the demo folder with two parameter groups, the simulated
// controller on the configured line, scripted answers and virtual time.
class OnlineWork : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_onl_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
        ws_->activate();

        GroupList list;
        auto g = std::make_unique<ParamGroup>();
        g->setGroup("Тепловой узел", 2);
        g->addParam(ParamCode4{0x80, 0x01, 0x00, 8}, 0, "Температура подачи");
        g->addParam(ParamCode4{0x80, 0x02, 0x00, 8}, 1, "Температура обратной воды");
        g->setBound(0, 0, 50.0);
        g->setBound(0, 1, 95.0);
        list.append(std::move(g));
        auto h = std::make_unique<ParamGroup>();
        h->setGroup("Давления", 5);
        h->addParam(ParamCode4{0x80, 0x03, 0x00, 8}, 0, "Давление в подающем");
        list.append(std::move(h));
        ASSERT_TRUE(saveGroups(list, ws_->groupFile(), ws_->toleranceFile()));
        ASSERT_TRUE(text::readFileBytes(ws_->toleranceFile(), tolerances_));
    }
    void TearDown() override
    {
        ws_.reset();
        fs::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }
    // The controller on the line, as the settings describe it.
    void controller(sim::RunState state = sim::RunState::Work)
    {
        const auto& s = ws_->settings();
        auto o = sim::stationOptionsFromSettings(s.blok1, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                                 s.multNumb, (dir_ / "Sprav.txt").string());
        o.controller.state = state;
        sim_ = std::make_unique<sim::SimPortOpener>(o, &clock_);
        ws_->setPortOpener(sim_.get());
    }
    OnlineWorkOutcome run()
    {
        OnlineWorkHooks hooks;
        hooks.showOnlineView = [this](int redial) {
            viewGroups_ = groups_.size();
            viewRedial_ = redial;
            portOpenInView_ = ws_->port() != nullptr;
        };
        hooks.runServiceRunPage = [this] { return serviceConfirms_; };
        return runOnlineWork(*ws_, groups_, hooks);
    }
    std::string toleranceBytes()
    {
        std::string b;
        text::readFileBytes(ws_->toleranceFile(), b);
        return b;
    }

    fs::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + 0.5};
    NullEventPump pump_;
    test::ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    GroupList groups_;
    std::string tolerances_;
    int viewGroups_ = -1, viewRedial_ = -1;
    bool portOpenInView_ = false;
    bool serviceConfirms_ = false;
};

} // namespace

TEST_F(OnlineWork, WritesEveryDescriptorShowsTheViewAndClosesThePort)
{
    controller();
    const auto out = run();
    EXPECT_TRUE(out.connected);
    EXPECT_EQ(out.descriptorsWritten, 2);
    EXPECT_EQ(viewGroups_, 2);
    EXPECT_TRUE(portOpenInView_);
    EXPECT_EQ(viewRedial_, ws_->settings().modemMin);
    EXPECT_EQ(ws_->port(), nullptr);
    EXPECT_EQ(toleranceBytes(), tolerances_);   // the same bounds written back
    EXPECT_EQ(op_.busyDepth, 0);
    // The status bar told the operator what happened.
    EXPECT_NE(std::find(op_.statuses.begin(), op_.statuses.end(), "Запись описателя группового параметра 1"),
              op_.statuses.end());
}

TEST_F(OnlineWork, ControllerNotRunningAndAnswerNoDropsTheGroupsAndKeepsTheToleranceFile)
{
    controller(sim::RunState::Stop);
    op_.expectQuestion(runStateQuestion("ОСТАНОВ"), false);
    text::writeFileAtomic(ws_->toleranceFile(), "stored bounds");   // must survive untouched
    const auto out = run();
    EXPECT_TRUE(out.groupsDropped);
    EXPECT_EQ(out.descriptorsWritten, 0);
    EXPECT_EQ(viewGroups_, 0);   // the view opens without groups
    EXPECT_EQ(toleranceBytes(), "stored bounds");
}

TEST_F(OnlineWork, ConfirmedSwitchToRunKeepsTheGroups)
{
    controller(sim::RunState::Stop);
    op_.expectQuestion(runStateQuestion("ОСТАНОВ"), true);
    serviceConfirms_ = true;
    const auto out = run();
    EXPECT_FALSE(out.groupsDropped);
    EXPECT_EQ(out.descriptorsWritten, 2);
    EXPECT_EQ(viewGroups_, 2);
}

TEST_F(OnlineWork, FailedStatusReadEndsTheWorkWithItsMessage)
{
    controller();
    sim_->station().faults().always(sim::Fault::NegativeReceipt);
    op_.expectMessage("Чтение статуса : " + exchangeMessage(3));
    const auto out = run();
    EXPECT_FALSE(out.connected);
    EXPECT_FALSE(out.viewShown);
    EXPECT_EQ(ws_->port(), nullptr);
    // The version read's failure was shown in the status bar.
    EXPECT_NE(std::find(op_.statuses.begin(), op_.statuses.end(),
                        std::string(kReadingVersionStatus) + "  " + exchangeMessage(3)),
              op_.statuses.end());
}

TEST_F(OnlineWork, FailedDescriptorWriteAsksToRepeatAndNoEndsTheWork)
{
    controller();
    // The controller refuses everything from the first descriptor write on.
    op_.onStatus = [this](const std::string& status) {
        if (status == "Запись описателя группового параметра 0")
            sim_->station().faults().always(sim::Fault::NegativeReceipt);
    };
    const std::string question = "Запись группового параметра 0 :  " + exchangeMessage(3) + " Повторить?";
    op_.expectQuestion(question, true);
    op_.expectQuestion(question, false);
    fs::remove(ws_->toleranceFile());   // must be written again all the same
    const auto out = run();
    EXPECT_FALSE(out.connected);
    EXPECT_FALSE(out.viewShown);
    EXPECT_EQ(out.descriptorsWritten, 0);
    EXPECT_EQ(ws_->port(), nullptr);
    EXPECT_EQ(toleranceBytes().size(), 3 * kToleranceRecordSize);   // written again: one record per entry
}

TEST_F(OnlineWork, CanBusLineWritesNoDescriptors)
{
    IniFile ini(ws_->ini().path());
    ini.load();
    ini.writeString("Parametr", "ChannelType", "Can-Bus");
    ASSERT_TRUE(ini.save());
    ws_->activate();
    ASSERT_EQ(ws_->settings().channelType, 11);
    controller();
    const auto out = run();
    EXPECT_TRUE(out.connected);
    EXPECT_EQ(out.descriptorsWritten, 0);
    EXPECT_EQ(viewGroups_, 2);
    EXPECT_EQ(sim_->station().controller().lastCanControl(), 1);   // the end-of-work control command
}

TEST_F(OnlineWork, TestModeShowsTheViewWithoutAnyExchange)
{
    ws_->online = false;   // "Тест" of the report blanks
    NullEventPump none;
    const auto out = run();
    EXPECT_TRUE(out.viewShown);
    EXPECT_EQ(viewGroups_, 0);
    EXPECT_FALSE(out.connected);
    EXPECT_EQ(toleranceBytes(), tolerances_);
}
