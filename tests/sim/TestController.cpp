#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "sim/Controller.h"
#include "sim/Values.h"

namespace kv::sim {
namespace {

using Bytes = std::vector<uint8_t>;

struct ControllerTest : ::testing::Test {
    explicit ControllerTest(ControllerOptions o = {}) : ctl(clock, o) {}
    Reply run(const Bytes& body, Face face = Face::Serial)
    {
        ExecContext c;
        c.face = face;
        c.atUs = clock.nowUs();
        return ctl.execute(body, c);
    }
    Bytes read(uint8_t hi, uint8_t lo)
    {
        const Reply r = run({0x01, hi, lo});
        EXPECT_EQ(r.kind, Reply::Kind::Data) << std::hex << int(hi) << " " << int(lo);
        return r.data;
    }
    Reply::Kind write(uint8_t hi, uint8_t lo, const Bytes& value)
    {
        EXPECT_EQ(run({0x05, 0x40, 0x07, uint8_t(~hi), uint8_t(~lo)}).kind, Reply::Kind::Ack);
        Bytes body{0x05, hi, lo};
        body.insert(body.end(), value.begin(), value.end());
        return run(body).kind;
    }
    uint8_t status() { return read(0x40, 0x00).at(1); }

    VirtualClock clock{46000.5};
    Controller ctl;
};

TEST(ControllerReal, EncodesAndDecodesTheControllerForm)
{
    struct Case {
        double v;
        Bytes b;
    };
    const Case cases[] = {
        {1.0, {0x81, 0x40, 0, 0}}, {3.0, {0x82, 0x60, 0, 0}}, {-1.0, {0x81, 0xC0, 0, 0}},
        {0.5, {0x80, 0x40, 0, 0}}, {0.0, {0x80, 0, 0, 0}},    {kInvalidValue, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        const auto e = encodeControllerReal(c.v);
        EXPECT_EQ(Bytes(e.begin(), e.end()), c.b) << c.v;
        EXPECT_EQ(decodeControllerReal(c.b), c.v);
    }
    EXPECT_DOUBLE_EQ(decodeControllerReal(Bytes{0x81, 0x40, 0x00, 0x01}), 1.0 + std::ldexp(1.0, -22) + std::ldexp(1.0, -23));
    EXPECT_NEAR(decodeControllerReal(encodeControllerReal(82.37)), 82.37, 1e-5);
}

TEST_F(ControllerTest, RunCommandPassesThroughRestartToWork)
{
    ctl.setState(RunState::Stop);
    EXPECT_EQ(status() & 0x18, 0x08);
    EXPECT_EQ(run({0x08}).kind, Reply::Kind::Ack);
    EXPECT_EQ(status() & 0x18, 0x10);
    clock.sleepMs(1500);
    EXPECT_EQ(status() & 0x18, 0x00);
    EXPECT_EQ(read(0x40, 0x00)[0], 0) << "the serial status is the second byte";
    EXPECT_EQ(run({0x01, 0x40, 0x00}, Face::Can).data, (Bytes{0x00, 0x00}));
}

TEST_F(ControllerTest, FailureResetClearsAccumulatedFailuresAndSetsTheDoneBit)
{
    ctl.setFailure(0, 0x01, true);
    ctl.setFailure(0, 0x01, false);
    ctl.setFailure(16, 0x80, true);
    Bytes rec = read(0x40, 0x32);
    ASSERT_EQ(rec.size(), 128u);
    EXPECT_EQ(rec[0], 0x01) << "a failure that has gone stays accumulated";
    EXPECT_EQ(rec[56], 0x00);
    EXPECT_EQ(rec[72], 0x80);
    EXPECT_EQ(status() & 0x04, 0);
    run({0x00});
    EXPECT_EQ(status() & 0x04, 0) << "the reset takes its time";
    clock.sleepMs(300);
    EXPECT_EQ(status() & 0x04, 0x04);
    rec = read(0x40, 0x32);
    EXPECT_EQ(rec[0], 0x00);
    EXPECT_EQ(rec[16], 0x80) << "a failure still present accumulates again at once";
}

TEST_F(ControllerTest, FailureHistoryRingMovesItsPointer)
{
    EXPECT_EQ(read(0x40, 0x14), (Bytes{7, 0}));
    for (int period = 0; period < 10; ++period) {
        ctl.setFailure(1, uint8_t(period + 1), true);
        ctl.closeFailurePeriod();
        ctl.setFailure(1, 0xFF, false);
    }
    // Ten periods: the pointer went 0..7 and then 0, 1; record 1 holds the tenth.
    EXPECT_EQ(read(0x40, 0x14), (Bytes{1, 0}));
    EXPECT_EQ(run({0x01, 0x40, 0x14}, Face::Can).data, (Bytes{0, 1}));
    EXPECT_EQ(read(0x41, 0x46).at(57), 10);
    EXPECT_EQ(read(0x40, 0x46).at(57), 9);
    EXPECT_EQ(read(0x42, 0x46).at(57), 3);
}

TEST_F(ControllerTest, ClockRunsAndIsSetPartByPart)
{
    ctl.setDateTime(dateTimeFromCivil({2026, 2, 28, 23, 59, 0}));
    EXPECT_EQ(read(0x40, 0x15), (Bytes{23, 59}));
    EXPECT_EQ(read(0x40, 0x16), (Bytes{28, 2}));
    EXPECT_EQ(read(0x40, 0x17), (Bytes{20, 26}));
    clock.sleepMs(60000);
    EXPECT_EQ(read(0x40, 0x15), (Bytes{0, 0}));
    EXPECT_EQ(read(0x40, 0x16), (Bytes{1, 3}));
    EXPECT_EQ(run({0x01, 0x40, 0x15}, Face::Can).data, (Bytes{0, 0})) ;

    EXPECT_EQ(write(0x40, 0x15, {7, 45}), Reply::Kind::Ack);
    EXPECT_EQ(write(0x40, 0x17, {20, 28}), Reply::Kind::Ack);
    EXPECT_EQ(write(0x40, 0x16, {29, 2}), Reply::Kind::Ack);
    EXPECT_EQ(read(0x40, 0x15), (Bytes{7, 45}));
    EXPECT_EQ(read(0x40, 0x16), (Bytes{29, 2}));
    EXPECT_EQ(read(0x40, 0x17), (Bytes{20, 28}));
    EXPECT_EQ(write(0x40, 0x16, {30, 2}), Reply::Kind::Refused);
    EXPECT_EQ(write(0x40, 0x15, {24, 0}), Reply::Kind::Refused);
}

TEST_F(ControllerTest, PasswordReadsBackOnlyWhenRight)
{
    auto readBack = [&](uint16_t entry) {
        EXPECT_EQ(write(0x40, 0x08, {uint8_t(entry >> 8), uint8_t(entry)}), Reply::Kind::Ack);
        const Bytes b = read(0x40, 0x08);
        return uint16_t(b[0] << 8 | b[1]);
    };
    EXPECT_EQ(readBack(0x1234), Controller::kOpenPassword) << "no password set";
    ctl.setPassword(0x4321);
    for (uint16_t wrong : {0x0000, 0xFFFF, 0x1234, 0x5A5A, 0xA5A5}) {
        const uint16_t m = readBack(wrong);
        EXPECT_NE(m, wrong);
        EXPECT_NE(m, 0x0000);
        EXPECT_NE(m, 0xFFFF);
    }
    ctl.setState(RunState::Stop);
    EXPECT_EQ(run({0x08}).kind, Reply::Kind::Refused) << "locked";
    EXPECT_EQ(write(0x40, 0x15, {1, 2}), Reply::Kind::Refused) << "locked";
    EXPECT_EQ(readBack(0x4321), 0x4321);
    EXPECT_EQ(run({0x08}).kind, Reply::Kind::Ack);
    EXPECT_EQ(write(0x40, 0x15, {1, 2}), Reply::Kind::Ack);
}

TEST_F(ControllerTest, GroupReadAnswersTheDescribedValues)
{
    // Temperature of sensor 1 (real), hour and minute, pipeline 0 run time (integer).
    Bytes d{0x01, 0x10, 0x40, 0x15, 0x80, 0x25, 0xFF};
    d.resize(128, 0);
    EXPECT_EQ(write(0x42, 0x50, d), Reply::Kind::Ack);
    EXPECT_EQ(read(0x42, 0x50), [&] {
        Bytes img = d;
        return img;
    }());
    const Bytes g = read(0x42, 0x51);
    ASSERT_EQ(g.size(), 4u + 2u + 4u);
    EXPECT_EQ(Bytes(g.begin(), g.begin() + 4), read(0x01, 0x10));
    EXPECT_EQ(Bytes(g.begin() + 4, g.begin() + 6), read(0x40, 0x15));
    EXPECT_EQ(Bytes(g.begin() + 6, g.end()), read(0x80, 0x25));

    EXPECT_EQ(run({0x01, 0x43, 0x51}).kind, Reply::Kind::Refused) << "group 3 has no descriptor";
    EXPECT_EQ(write(0x43, 0x50, {0x77, 0x77, 0xFF}), Reply::Kind::Refused) << "no such parameter";
    EXPECT_EQ(write(0x43, 0x50, {0x42, 0x51, 0xFF}), Reply::Kind::Refused) << "a group in a group";
}

TEST_F(ControllerTest, BitOperationsReadAndSwitchBuffersAndSetTheDoneBit)
{
    ctl.setBit(Controller::Buffer::Input, 2, 13, true);
    EXPECT_EQ(run({0x0C, 13, 0x2C}).data, (Bytes{0x20})) << "G, module 2, read";
    EXPECT_EQ(run({0x0C, 12, 0x2C}).data, (Bytes{0x00}));
    EXPECT_EQ(run({0x0C, 13, 0x2C | 0x40}).kind, Reply::Kind::Refused) << "inputs are not switched";

    ctl.linkFeedback(1, 9, 0, 3);
    EXPECT_EQ(run({0x0C, 9, 0x2A | 0x40}).kind, Reply::Kind::Ack) << "I, module 1, set";
    EXPECT_EQ(status() & 0x04, 0);
    clock.sleepMs(50);
    EXPECT_EQ(status() & 0x04, 0x04);
    EXPECT_TRUE(ctl.bit(Controller::Buffer::Output, 1, 9));
    EXPECT_TRUE(ctl.bit(Controller::Buffer::Input, 0, 3)) << "the feedback contact follows";
    EXPECT_EQ(read(0x41, 0x49), (Bytes{0, 0x02, 0, 0, 0, 0, 0, 0}));
    run({0x0C, 9, 0x2A | 0xC0});   // toggle
    EXPECT_FALSE(ctl.bit(Controller::Buffer::Output, 1, 9));
    run({0x0C, 9, 0x2A | 0x40});
    run({0x0C, 9, 0x2A | 0x80});   // clear
    EXPECT_FALSE(ctl.bit(Controller::Buffer::Output, 1, 9));

    EXPECT_EQ(run({0x0C, 70, 0x27 | 0x40}).kind, Reply::Kind::Ack) << "J reaches bits 64..127";
    EXPECT_TRUE(ctl.bit(Controller::Buffer::Output, 1, 6));
    EXPECT_EQ(run({0x0C, 10, 0x27}).kind, Reply::Kind::Refused);
    EXPECT_EQ(run({0x0C, 64, 0x26}).kind, Reply::Kind::Refused);
}

TEST(ControllerModels, VersionAndModelRepliesTellTheModelsApart)
{
    VirtualClock clock;
    for (int m = 0; m < 4; ++m) {
        ControllerOptions o;
        o.model = m;
        Controller c(clock, o);
        const Bytes v = c.execute(Bytes{0x01, 0x40, 0x1E}, {}).data;
        const Bytes mr = c.execute(Bytes{0x01, 0x41, 0x1E}, {}).data;
        ASSERT_EQ(v.size(), 2u);
        if (m == 0)
            EXPECT_EQ(mr, v);
        else
            EXPECT_EQ(mr, (Bytes{uint8_t(m), uint8_t(255 - m)}));
        ExecContext can;
        can.face = Face::Can;
        const Bytes id = c.execute(Bytes{0x01, 0xF0, 0x00}, can).data;
        ASSERT_EQ(id.size(), 2u);
        int number = id[1] * 256 + id[0];
        if (number < 100)
            number *= 256;
        EXPECT_EQ(number >= 0x1700 && number <= 0x17FF, m == 3) << m;
    }
}

TEST(ControllerSeeding, ParametersComeFromTheModelsSectionOfTheReferenceFile)
{
    const std::string text = cp1251FromUtf8(
        "Справочник\r\n0=\r\nОбщие\r\nТемпература;00;10;01;08\r\n1=\r\nДатчики\r\n"
        "Температура воды;00;20;03;08\r\nДавление;0;2 1;3;8\r\nНаработка;80;30;01;07\r\n"
        "Код;40;60;00;01\r\nНазвание;40;61;00;0A\r\nПлохой формат;40;62;00;0C\r\n2=\r\n");
    const auto defs = parseSpravSection(text, 1);
    ASSERT_EQ(defs.size(), 5u);
    EXPECT_EQ(defs[0].name, "Температура воды");
    EXPECT_EQ(defs[1].code, 0x21);
    EXPECT_EQ(defs[1].maxIndex, 3);
    EXPECT_EQ(parseSpravSection(text, 3).size(), 1u) << "missing section: section 0";

    const std::string path = ::testing::TempDir() + "sim_sprav.txt";
    {
        std::ofstream f(path, std::ios::binary);
        f << text;
    }
    VirtualClock clock;
    ControllerOptions o;
    o.model = 1;
    o.spravPath = path;
    Controller c(clock, o);
    EXPECT_EQ(c.seededFrom(), path);
    auto rd = [&](uint8_t hi, uint8_t lo) { ExecContext e; e.atUs = clock.nowUs(); return c.execute(Bytes{0x01, hi, lo}, e); };
    const double t = decodeControllerReal(rd(0x03, 0x20).data);
    EXPECT_GT(t, 40.0);
    EXPECT_LT(t, 90.0);
    EXPECT_EQ(rd(0x04, 0x20).kind, Reply::Kind::Refused) << "index above the largest";
    EXPECT_EQ(rd(0x00, 0x10).kind, Reply::Kind::Refused) << "section 0 is another model's";
    EXPECT_EQ(rd(0x40, 0x60).data.size(), 2u);
    const Bytes name = rd(0x40, 0x61).data;
    ASSERT_EQ(name.size(), 128u);
    EXPECT_EQ(name.back(), 0xFF);
    EXPECT_EQ(rd(0x40, 0x62).kind, Reply::Kind::Refused);
    // A text filling its whole field comes with the closing 0xFF; the field keeps 128 bytes.
    Bytes full(128, 'A');
    full.push_back(0xFF);
    ExecContext e;
    c.execute(Bytes{0x05, 0x40, 0x07, uint8_t(~0x40), uint8_t(~0x61)}, e);
    Bytes body{0x05, 0x40, 0x61};
    body.insert(body.end(), full.begin(), full.end());
    EXPECT_EQ(c.execute(body, e).kind, Reply::Kind::Ack);
    EXPECT_EQ(rd(0x40, 0x61).data, Bytes(128, 'A'));
    c.execute(Bytes{0x05, 0x40, 0x07, uint8_t(~0x40), uint8_t(~0x61)}, e);
    body.back() = 'A';
    EXPECT_EQ(c.execute(body, e).kind, Reply::Kind::Refused) << "129 bytes without the end mark";

    const Bytes before = rd(0x81, 0x30).data;
    clock.advanceMs(3600 * 1000 * 5);
    const Bytes after = rd(0x81, 0x30).data;
    auto asInt = [](const Bytes& b) { return b[0] * 1000000 + b[1] * 65536 + b[2] * 256 + b[3]; };
    EXPECT_EQ(asInt(after) - asInt(before), 5) << "run time counts hours";
    std::remove(path.c_str());

    ControllerOptions missing;
    missing.spravPath = path;
    Controller fallback(clock, missing);
    EXPECT_EQ(fallback.seededFrom(), "");
    EXPECT_EQ(fallback.execute(Bytes{0x01, 0x00, 0x10}, {}).kind, Reply::Kind::Data);
}

} // namespace
} // namespace kv::sim

namespace kv::sim {
namespace {

TEST(ControllerSeeding, DemoReferenceFileGivesEveryModelAPlausibleHeatPoint)
{
    const std::string path = std::string(KV_SOURCE_DIR) + "/data/demo/Sprav.txt";
    VirtualClock clock;
    for (int model = 0; model < 4; ++model) {
        SCOPED_TRACE(model);
        ControllerOptions o;
        o.model = model;
        o.spravPath = path;
        Controller c(clock, o);
        ASSERT_EQ(c.seededFrom(), path);
        auto real = [&](uint8_t hi, uint8_t lo) {
            const Reply r = c.execute(Bytes{0x01, hi, lo}, {});
            EXPECT_EQ(r.kind, Reply::Kind::Data) << std::hex << int(hi) << " " << int(lo);
            return r.data.size() == 4 ? decodeControllerReal(r.data) : -1.0;
        };
        const double supply = real(0x80, 0x01), ret = real(0x80, 0x02);
        EXPECT_GT(supply, ret);
        EXPECT_GT(ret, 30.0);
        EXPECT_LT(supply, 100.0);
        EXPECT_GT(real(0x80, 0x03), real(0x80, 0x04)) << "supply pressure above return";
        // The controller's own cells stand whatever format the reference gives them.
        EXPECT_EQ(c.execute(Bytes{0x01, 0x40, 0x00}, {}).data.size(), 2u);
        EXPECT_EQ(c.execute(Bytes{0x01, 0x40, 0x32}, {}).data.size(), 128u);
    }
}

} // namespace
} // namespace kv::sim
