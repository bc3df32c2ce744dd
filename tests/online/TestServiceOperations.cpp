#include <gtest/gtest.h>

#include <filesystem>

#include "DemoFolder.h"
#include "LineKinds.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "online/ServiceOperations.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

namespace fs = std::filesystem;
using namespace kv;

namespace {

// A pump that presses "Выход" after a number of waits.
class StoppingPump final : public EventPump {
public:
    void processEvents() override
    {
        if (ops && --left == 0)
            ops->stop();
    }
    ServiceOperations* ops = nullptr;
    int left = -1;
};

// The service commands on a copy of the demo folder against the simulated controller on the
// configured line, with scripted answers and virtual time.
class Service : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
             / ("kv_svc_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
        ws_->activate();
    }
    void TearDown() override
    {
        ops_.reset();
        ws_.reset();
        fs::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }
    // Connects to a controller with these options, as the start of online work does.
    void connect(sim::ControllerOptions c = {})
    {
        const auto& s = ws_->settings();
        auto o = sim::stationOptionsFromSettings(s.blok1, s.setNumber, s.prot, s.crc, s.channel, s.channelType,
                                                 s.multNumb, (dir_ / "Sprav.txt").string());
        c.model = o.controller.model;
        c.networkNumber = o.controller.networkNumber;
        c.spravPath = o.controller.spravPath;
        c.baud = o.controller.baud;
        o.controller = c;
        sim_ = std::make_unique<sim::SimPortOpener>(o, &clock_);
        ws_->setPortOpener(sim_.get());
        ASSERT_TRUE(ws_->openPort());
        ASSERT_TRUE(ws_->connect());
        ops_ = std::make_unique<ServiceOperations>(*ws_);
        ops_->begin();
    }
    sim::Controller& controller() { return sim_->station().controller(); }
    ServiceOperations::Progress recordSteps()
    {
        return [this](int step) { steps_.push_back(step); };
    }
    double secondsSince(double start) const { return (clock_.now() - start) * 86400.0; }

    fs::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + 0.5};
    StoppingPump pump_;
    test::ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<ServiceOperations> ops_;
    std::vector<int> steps_;
};

} // namespace

TEST_F(Service, StoppedControllerIsSwitchedToRunAndTheWaitConfirmsIt)
{
    connect({.state = sim::RunState::Stop});
    const double start = clock_.now();
    const auto out = ops_->switchToRun(passwordText(kBlankPassword), recordSteps());
    EXPECT_TRUE(out.confirmed);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.text, "Выполнено");
    EXPECT_EQ(controller().state(), sim::RunState::Work);
    EXPECT_EQ(ws_->commands().stateName(), "РАБОТА");
    // Confirmed only once the restart of 1.5 s was over, long before the limit.
    EXPECT_GE(secondsSince(start), 1.5);
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(steps_.empty());
    EXPECT_EQ(steps_.front(), 1);
}

TEST_F(Service, ControllerThatStaysInRestartIsNotConfirmedAfterTenUnits)
{
    connect({.state = sim::RunState::Stop, .restartMs = 60000});
    const double start = clock_.now();
    const auto out = ops_->switchToRun("0000", recordSteps());
    EXPECT_FALSE(out.confirmed);
    EXPECT_EQ(out.result, kStatusDiffers);
    EXPECT_EQ(out.text, "Признак о выполнении команды \rРАБОТА\r не установлен");
    EXPECT_EQ(ws_->commands().stateName(), "ПЕРЕЗАПУСК");
    // Ten units of 0.864 s, the bar moved once for each of them.
    EXPECT_GE(secondsSince(start), 8.64);
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_EQ(steps_, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(Service, SilentControllerShowsTheExchangeMessage)
{
    connect({.state = sim::RunState::Stop});
    // The RUN command itself unanswered: nothing to wait for.
    sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
    auto out = ops_->switchToRun("0000");
    EXPECT_FALSE(out.confirmed);
    EXPECT_GT(out.result, 0);
    EXPECT_EQ(out.text, exchangeMessage(out.result));
    EXPECT_EQ(controller().state(), sim::RunState::Stop);

    // The command goes through but the status reads fail: the wait ends with their message.
    sim_->station().faults().clearAll();
    ASSERT_EQ(ws_->commands().setRunMode(*ws_->port(), ws_->settings().channelType), 0);
    sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
    out = ops_->completionWait(kStateMask, 0, kRunCommandName);
    EXPECT_FALSE(out.confirmed);
    EXPECT_EQ(out.result, xr::NoAnswer);
    EXPECT_EQ(out.text, exchangeMessage(xr::NoAnswer));
}

TEST_F(Service, PasswordDecidesWhetherTheRunCommandIsSent)
{
    struct Case {
        std::optional<uint16_t> set;
        std::string entry;
        bool accepted;
    };
    const Case cases[] = {
        {std::nullopt, "0000", true},   // no password: the blank entry matches the open answer
        {std::nullopt, "FFFF", true},
        {std::nullopt, "12ab", false},  // a real entry must come back as itself
        {0x12AB, "12ab", true},
        {0x12AB, "0000", false},
        {0x12AB, "12AC", false},
    };
    connect({.state = sim::RunState::Stop});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        controller().setState(sim::RunState::Stop);
        controller().setPassword(c.set);
        if (!c.accepted)
            op_.expectMessage("Задан неверный пароль доступа ");
        const auto out = ops_->switchToRun(c.entry);
        EXPECT_EQ(out.confirmed, c.accepted);
        EXPECT_EQ(out.result, c.accepted ? 0 : kPasswordRefused);
        EXPECT_EQ(out.text, c.accepted ? "Выполнено" : "");
        EXPECT_EQ(controller().state() != sim::RunState::Stop, c.accepted);   // no RUN after a refusal
    }
}

TEST_F(Service, EmptyPasswordSendsNothing)
{
    connect({.state = sim::RunState::Stop});
    const auto out = ops_->switchToRun("");
    EXPECT_TRUE(out.needPassword);
    EXPECT_FALSE(out.confirmed);
    EXPECT_EQ(controller().state(), sim::RunState::Stop);
}

TEST_F(Service, ExitDuringTheWaitEndsItSilently)
{
    connect({.state = sim::RunState::Stop, .restartMs = 60000});
    pump_.ops = ops_.get();
    pump_.left = 5;
    const double start = clock_.now();
    const auto out = ops_->switchToRun("0000");
    EXPECT_TRUE(out.stopped);
    EXPECT_FALSE(out.confirmed);
    EXPECT_EQ(out.text, "");
    EXPECT_LT(secondsSince(start), 3.0);
}

TEST_F(Service, FailureResetIsConfirmedByStatusBitTwo)
{
    connect();
    const auto out = ops_->resetFailures();
    EXPECT_TRUE(out.confirmed);
    EXPECT_EQ(out.text, "Выполнено");
    EXPECT_NE(controller().statusByte(sim_->station().clock().nowUs()) & 0x04, 0);
}

TEST_F(Service, ClockIsShownInWords)
{
    connect();
    controller().setDateTime(text::encodeDate(2026, 3, 7) + text::encodeTime(9, 5, 0));
    const auto c = ops_->readClock();
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.date, "7  марта  2026  года");
    EXPECT_EQ(c.time, "9  часов  5  минут");

    sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
    const auto f = ops_->readClock();
    EXPECT_GT(f.result, 0);
    EXPECT_EQ(f.date, exchangeMessage(f.result));
    EXPECT_EQ(f.time, "");
}

TEST(ServiceTexts, PasswordFieldAndMonths)
{
    EXPECT_EQ(passwordText(kBlankPassword), "0000");
    EXPECT_EQ(passwordText(0x1A2F), "1A2F");
    EXPECT_EQ(passwordValue("1a2F"), 0x1A2F);
    EXPECT_EQ(passwordValue("x1-2"), 0x12);
    EXPECT_TRUE(passwordCharAllowed(U'f'));
    EXPECT_TRUE(passwordCharAllowed(8));
    EXPECT_FALSE(passwordCharAllowed(U'g'));
    EXPECT_FALSE(passwordCharAllowed(U' '));
    EXPECT_EQ(monthGenitive(1), "января");
    EXPECT_EQ(monthGenitive(12), "декабря");
    EXPECT_EQ(monthGenitive(13), "");
}

TEST_F(Service, SettingTheClockWritesOnlyWhatDiffers)
{
    struct Case {
        const char* what;
        ClockSetting to;
    };
    // The controller shows 11 December 2026, 12:00 when each case starts.
    const Case cases[] = {
        {"same date: time only", {8, 30, 2026, 12, 11}},
        {"other day, same year", {23, 59, 2026, 2, 28}},
        {"other year", {0, 0, 2027, 1, 1}},
    };
    connect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        controller().setDateTime(text::encodeDate(2026, 12, 11) + 0.5);
        const auto out = ops_->setClock("0000", c.to);
        EXPECT_TRUE(out.confirmed);
        const auto now = text::decodeDateTime(controller().dateTime());
        EXPECT_EQ(now.year, c.to.year);
        EXPECT_EQ(now.month, c.to.month);
        EXPECT_EQ(now.day, c.to.day);
        EXPECT_EQ(now.hour, c.to.hour);
        EXPECT_EQ(now.minute, c.to.minute);
        // The texts show what the controller holds afterwards.
        EXPECT_EQ(out.text, std::to_string(c.to.day) + "  " + monthGenitive(c.to.month) + "  " +
                                std::to_string(c.to.year) + "  года");
        EXPECT_EQ(out.secondText, std::to_string(c.to.hour) + "  часов  " + std::to_string(c.to.minute) + "  минут");
    }
}

TEST_F(Service, WrongPasswordLeavesTheClockAlone)
{
    connect({.password = 0x4321});
    const double before = controller().dateTime();
    op_.expectMessage("Задан неверный пароль доступа ");
    const auto out = ops_->setClock("1111", {1, 2, 2030, 3, 4});
    EXPECT_EQ(out.result, kPasswordRefused);
    EXPECT_EQ(out.text, "");
    EXPECT_NEAR(controller().dateTime(), before, 1.0 / 1440);
}

TEST_F(Service, SpeedChangeIsConfirmedAtTheNewSpeed)
{
    connect();
    ASSERT_EQ(ws_->settings().speed, 5);   // 9600 in the demo configuration
    const auto out = ops_->changeSpeed(6);
    EXPECT_TRUE(out.confirmed);
    EXPECT_EQ(out.text, "  OK");
    EXPECT_EQ(controller().baud(), 19200);
    EXPECT_EQ(ws_->port()->params().baud, 19200);
    EXPECT_EQ(ws_->settings().speed, 6);
    // Values still come at the new speed.
    EXPECT_EQ(ws_->commands().readStatus(*ws_->port(), ws_->settings().channelType, 0, 0), 0);
}

TEST_F(Service, SpeedChangeRefusedByASilentLineKeepsTheConfiguredSpeed)
{
    connect();
    const int before = controller().baud();
    sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
    const auto out = ops_->changeSpeed(2);
    EXPECT_FALSE(out.confirmed);
    EXPECT_GT(out.result, 0);
    EXPECT_EQ(out.text, exchangeMessage(out.result));
    EXPECT_EQ(controller().baud(), before);
    EXPECT_EQ(ws_->port()->params().baud, 9600);
    EXPECT_EQ(ws_->settings().speed, 5);
}

TEST(ServiceTexts, SpeedItems)
{
    EXPECT_EQ(speedItemFor(9), 6);   // 57600 configured: the highest item offered
    EXPECT_EQ(kServiceSpeedItems[std::size_t(speedItemFor(9))], "19200 бод ");
    EXPECT_EQ(speedBytes(2), (std::array<uint8_t, 2>{0x01, 0x20}));
    EXPECT_EQ(speedProgressText(0), "Перевод на скорость    300 бод");
}

TEST_F(Service, ExitPutsAChangedPortBackToTheConfiguredSpeedOnly)
{
    connect();
    LineParams odd = ws_->port()->params();
    odd.baud = 1234;   // a line whose speed is not the configured index (CAN adapter, modem)
    ws_->port()->setParams(odd);
    ops_->restoreSpeed();
    EXPECT_EQ(ws_->port()->params().baud, 1234);

    ws_->port()->setParams(odd);
    sim_->station().faults().arm(sim::Fault::NoAnswer, sim::Faults::kUntilCleared);
    ops_->changeSpeed(6);
    ws_->port()->setParams(odd);
    ops_->restoreSpeed();
    EXPECT_EQ(ws_->port()->params().baud, 9600);
}

TEST_F(Service, CommandsWorkOnEveryKindOfLineInEveryProtocol)
{
    for (int prot = 0; prot < test::kProtocols; ++prot) {
        for (int type = 0; type < test::kChannelTypes; ++type) {
            SCOPED_TRACE("protocol " + std::to_string(prot) + ", channel type " + std::to_string(type));
            test::useLineKind(ws_->settings(), prot, type);
            ws_->modemLinkUp = false;
            connect({.state = sim::RunState::Stop});
            controller().setDateTime(text::encodeDate(2026, 3, 7) + text::encodeTime(9, 5, 0));
            const auto c = ops_->readClock();
            EXPECT_EQ(c.date, "7  марта  2026  года");
            if (type <= 10) {   // the service commands are for the serial controllers
                EXPECT_TRUE(ops_->switchToRun("0000", {}).confirmed);
                EXPECT_EQ(controller().state(), sim::RunState::Work);
                EXPECT_TRUE(ops_->resetFailures().confirmed);
                EXPECT_TRUE(ops_->setClock("0000", {23, 59, 2027, 1, 1}).confirmed);
                EXPECT_EQ(text::decodeDateTime(controller().dateTime()).year, 2027);
            }
            ops_.reset();
            ws_->hangUpModem();
            ws_->closePort();
        }
    }
}
