// The simulator's scenario: a course of values, failures and signals on the line's clock,
// repeating by cycle, seen through the controller's own reads.
#include <gtest/gtest.h>

#include "sim/Scenario.h"
#include "sim/Values.h"
#include "sim/VirtualClock.h"

using namespace kv::sim;

namespace {

struct ScenarioRig : ::testing::Test {
    VirtualClock clock{46000.5};
    Controller ctl{clock};

    double real(uint16_t address)
    {
        auto c = ctl.memory().find(address, Face::Serial);
        EXPECT_TRUE(c.has_value());
        const auto b = c->read({Face::Serial, ctl.dateTime(), clock.nowUs()});
        return decodeControllerReal(b);
    }
    std::vector<uint8_t> read(uint16_t address)
    {
        auto c = ctl.memory().find(address, Face::Serial);
        return c ? c->read({Face::Serial, ctl.dateTime(), clock.nowUs()}) : std::vector<uint8_t>{};
    }
};

} // namespace

TEST_F(ScenarioRig, TheDemoCourseDriftsOutOfTheBandRaisesFailuresAndASignalAndRepeats)
{
    auto s = Scenario::demo(ctl);
    struct Step { int atS; bool outOfBand; uint8_t block; uint8_t sensor; uint8_t input0; };
    const Step steps[] = {
        {5, false, 0, 0, 0},      {31, false, 0x02, 0, 0},   {50, true, 0x02, 0, 0x08},
        {65, true, 0, 0, 0x08},   {85, false, 0, 0x01, 0},    {105, false, 0, 0, 0},
        {125, false, 0, 0, 0},    {170, true, 0x02, 0, 0x08}, // the second cycle
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.atS);
        clock.set(46000.5 + st.atS / 86400.0);
        const double v = real(Scenario::kDemoAddress);
        EXPECT_EQ(v < Scenario::kDemoLow || v > Scenario::kDemoHigh, st.outOfBand) << v;
        const auto record = read(0x4032);
        ASSERT_EQ(record.size(), 128u);
        EXPECT_EQ(record[56], st.block);
        EXPECT_EQ(record[64], st.sensor);
        EXPECT_EQ(read(0x4047)[0], st.input0);
    }
}

TEST_F(ScenarioRig, ACourseWithoutCycleHoldsItsLastValueAndEventsApplyOnce)
{
    Scenario s(ctl);
    s.course(0x8002, {{10, 50}, {20, 70}}).failure(5, 3, 0x80, true).failure(15, 3, 0x80, false);
    s.install();
    EXPECT_DOUBLE_EQ(real(0x8002), 50);
    clock.advanceMs(15000);
    EXPECT_NEAR(real(0x8002), 60, 1e-3);
    // A read long after several events sees the state they leave.
    EXPECT_EQ(read(0x4032)[56 + 3], 0);
    EXPECT_EQ(ctl.currentFailureRecord()[3], 0x80);   // shown once, so accumulated
    clock.advanceMs(3600000);
    EXPECT_NEAR(real(0x8002), 70, 1e-3);
    EXPECT_EQ(read(0x4032)[56 + 3], 0);
}
