// The search for the speed and network number of a controller on a wired line, against the
// simulated controller in virtual time.
#include <gtest/gtest.h>

#include <filesystem>

#include "DemoFolder.h"
#include "ScriptedOperator.h"
#include "app/Workspace.h"
#include "channels/LineSearch.h"
#include "protocol/LineControl.h"
#include "sim/Faults.h"
#include "sim/SimPort.h"
#include "sim/VirtualClock.h"
#include "text/DateTime.h"

using namespace kv;

namespace {

// A pump that chooses "Выход" after a number of speed steps.
class ExitingPump final : public EventPump {
public:
    void processEvents() override
    {
        if (search && --left == 0)
            search->exit();
    }
    LineSearch* search = nullptr;
    int left = -1;
};

class Search : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path()
             / ("kv_search_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        test::copyDemoFolder(dir_);
        ws_ = std::make_unique<Workspace>(dir_.string(), clock_, pump_, op_);
        ws_->activate();
        ws_->settings().channelType = channel::Rs485;
        ws_->exchange().state().attemptCount = 1;
    }
    void TearDown() override
    {
        search_.reset();
        ws_.reset();
        std::filesystem::remove_all(dir_);
        for (const auto& p : op_.problems())
            ADD_FAILURE() << p;
    }
    // A controller with this number at this baud behind the configured line, the port open.
    void controllerAt(int number, int baud, int prot = 0)
    {
        auto& s = ws_->settings();
        s.prot = uint8_t(prot);
        auto o = sim::stationOptionsFromSettings(s.blok1, number, prot, s.crc, s.channel, s.channelType, s.multNumb,
                                                 (dir_ / "Sprav.txt").string());
        o.controller.baud = baud;
        sim_ = std::make_unique<sim::SimPortOpener>(o, &clock_);
        ws_->setPortOpener(sim_.get());
        ASSERT_TRUE(ws_->openPort());
        search_ = std::make_unique<LineSearch>(*ws_);
        pump_.search = search_.get();
        ws_->debugLog().setEcho([this](const std::string& l) { trace_ += l + "\n"; });
    }
    sim::Controller& controller() { return sim_->station().controller(); }

    std::filesystem::path dir_;
    sim::VirtualClock clock_{text::encodeDate(2026, 12, 11) + 0.5};
    ExitingPump pump_;
    test::ScriptedOperator op_;
    std::unique_ptr<Workspace> ws_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<LineSearch> search_;
    std::string trace_;
};

} // namespace

TEST(SearchTexts, SpeedsKeysAndNumbers)
{
    EXPECT_EQ(searchSpeedItems(0), (std::vector<std::string>{"Подбор", "    300 бод", "    600 бод", "  1200 бод",
                                                             "  2400 бод", "  4800 бод", "  9600 бод", "19200 бод"}));
    EXPECT_EQ(searchSpeedItems(channel::IsmLeased).back(), "  1200 бод");
    EXPECT_EQ(searchSpeedItems(channel::IsmSwitched).size(), 4u);

    for (char32_t ch : {U'0', U'9', char32_t(8), char32_t(13), char32_t(10)})
        EXPECT_TRUE(searchKeyAccepted(ch, false)) << int(ch);
    EXPECT_FALSE(searchKeyAccepted(U'A', false));
    EXPECT_TRUE(searchKeyAccepted(U'f', true));
    EXPECT_FALSE(searchKeyAccepted(U'g', true));
    EXPECT_FALSE(searchKeyAccepted(U'-', true));

    struct Case {
        const char* text;
        bool hex;
        int number;
    };
    const Case cases[] = {
        {"", false, kTryAllNumbers}, {"12", false, 12},  {"127", false, 127}, {"128", false, -1},
        {"7F", true, 127},           {"80", true, -1},    {"0a", true, 10},    {"99999999999999", false, -1},
        {"1 2", false, 12},          // other characters are skipped
    };
    for (const Case& c : cases)
        EXPECT_EQ(searchNumberFromText(c.text, c.hex), c.number) << c.text;
    EXPECT_EQ(searchNumberText(10, true), "0A");
    EXPECT_EQ(searchNumberText(10, false), "10");
    EXPECT_EQ(searchModelName(3), "ЗЕНТАР-17");
}

TEST_F(Search, FindsTheNumberAndSpeedAndReleasesTheController)
{
    controllerAt(5, 4800);
    const double start = clock_.now();
    ASSERT_TRUE(search_->search("", false, 0));
    EXPECT_EQ(ws_->settings().setNumber, 5);
    EXPECT_EQ(ws_->settings().speed, 4);
    EXPECT_EQ(search_->texts().number, "Сетевой номер  5");
    EXPECT_EQ(search_->texts().speed, "Скорость обмена   4800 бод");
    EXPECT_EQ(search_->texts().outcome, "OK");
    EXPECT_EQ(search_->texts().model.rfind("ЗЕНТАР-17  версия ", 0), 0u) << search_->texts().model;
    // Numbers 0..4 were tried at every speed first; the controller was released at the end.
    EXPECT_GT((clock_.now() - start) * 86400.0, 5 * 7 * 1.0);
    EXPECT_EQ(search_->numberToTry(), 0);
    EXPECT_NE(trace_.find(">>01 0B F5"), std::string::npos) << "release command";
}

TEST_F(Search, AGivenNumberAndSpeedAreTheOnlyTry)
{
    controllerAt(0x2A, 9600);
    EXPECT_FALSE(search_->search("2B", true, 6));   // 0x2B at 9600: nobody
    EXPECT_EQ(search_->texts().number, "Сетевой номер  2B");
    EXPECT_EQ(search_->texts().speed, "Скорость обмена ");
    EXPECT_EQ(search_->texts().outcome, "не установлена");
    EXPECT_EQ(ws_->settings().setNumber, 1);   // as configured
    EXPECT_EQ(ws_->settings().speed, 5);

    ASSERT_TRUE(search_->search("2A", true, 6));
    EXPECT_EQ(search_->texts().speed, "Скорость обмена   9600 бод");
    EXPECT_EQ(ws_->settings().setNumber, 0x2A);
}

TEST_F(Search, FtProtocolsTakeTheNumberIntoTheirFrames)
{
    controllerAt(3, 2400, 1);
    ASSERT_TRUE(search_->search("", false, 0));
    EXPECT_EQ(ws_->settings().setNumber, 3);
    EXPECT_EQ(ws_->settings().speed, 3);
    EXPECT_EQ(ws_->exchange().state().networkNumber, 3);
}

TEST_F(Search, ANumberAboveTheRangeIsRefusedWithoutASearch)
{
    controllerAt(1, 9600);
    EXPECT_FALSE(search_->search("200", false, 0));
    EXPECT_EQ(search_->texts().status, "Сетевой номер больше допустимого");
    EXPECT_EQ(search_->texts().number, "");
    EXPECT_TRUE(search_->keyPressed(U'1', false));
    EXPECT_EQ(search_->texts().status, "");
    EXPECT_FALSE(search_->keyPressed(U'B', false));
    EXPECT_EQ(search_->texts().status, "Недопустимый символ  B");
}

TEST_F(Search, ExitEndsTheSearchAtTheNextSpeedStep)
{
    controllerAt(100, 9600);
    pump_.left = 10;
    const double start = clock_.now();
    EXPECT_FALSE(search_->search("", false, 0));
    // All 128 numbers at 7 speeds would take a quarter of an hour; it stopped within seconds.
    EXPECT_LT((clock_.now() - start) * 86400.0, 30.0);
    EXPECT_EQ(search_->texts().outcome, "не установлена");
    EXPECT_FALSE(search_->running());
}
