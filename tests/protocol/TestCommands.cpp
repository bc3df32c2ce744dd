#include <gtest/gtest.h>

#include <map>

#include "protocol/CommandTestPort.h"
#include "protocol/Commands.h"

using namespace kv;
using Bytes = std::vector<uint8_t>;
using Receipt = test::CommandTestPort::Receipt;

namespace {

Bytes bytesOf(std::span<const uint8_t> s) { return Bytes(s.begin(), s.end()); }

// What the traditional engine puts on the line for one body: the 0x05 handshake, then
// length, body and the checksum that makes body plus checksum sum to 0.
Bytes traditionalWire(const Bytes& body) {
    Bytes w{0x05, uint8_t(body.size())};
    uint8_t sum = 0;
    for (uint8_t b : body) {
        w.push_back(b);
        sum = uint8_t(sum + b);
    }
    w.push_back(uint8_t(-sum));
    return w;
}

ValueBytes ieee(float f) {
    const uint32_t u = std::bit_cast<uint32_t>(f);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

} // namespace

// ---- pure parts ---------------------------------------------------------------------------

TEST(CommandBodies, ReadWriteEnableAndWriteBodies) {
    EXPECT_EQ(bytesOf(readBody(0x4015)), (Bytes{0x01, 0x40, 0x15}));
    // X = ~(0x40 | 0x02), Y = ~0x50
    EXPECT_EQ(bytesOf(writeEnableBody({0x40, 0x50, 0x02})), (Bytes{0x05, 0x40, 0x07, 0xBD, 0xAF}));
    EXPECT_EQ(bytesOf(writeEnableBody({0x80, 0x0A, 0x03})), (Bytes{0x05, 0x40, 0x07, 0x7C, 0xF5}));
    const Bytes value{0x81, 0x40, 0x00, 0x00};
    EXPECT_EQ(writeBody(0x0310, value), (Bytes{0x05, 0x03, 0x10, 0x81, 0x40, 0x00, 0x00}));
    EXPECT_EQ(bytesOf(kResetFailuresBody), Bytes{0x00});
    EXPECT_EQ(bytesOf(kRunModeBody), Bytes{0x08});
    EXPECT_EQ(bytesOf(kReleaseBody), Bytes{0x0B});
}

TEST(CommandBodies, ParamCodeAddressAddsTheIndexToTheHighByte) {
    EXPECT_EQ((ParamCode{0x40, 0x15, 0}).address(), 0x4015);
    EXPECT_EQ((ParamCode{0x80, 0x0A, 3}).address(), 0x830A);
    EXPECT_EQ((ParamCode{0xF0, 0x28, 0x20}).address(), 0x1028);   // modulo 256
    EXPECT_EQ((ParamCode{0x83, 0x0A, 3}).classBits(), 0x80);
}

TEST(CommandFormats, LengthsAndTheKindsEachFormatAccepts) {
    const int lengths[] = {2, 2, 4, 2, 128, 2, 8, 4, 4, 4, 128};
    for (uint8_t f = 0; f <= 10; ++f) {
        EXPECT_EQ(formatLength(f), lengths[f]) << int(f);
        const bool plain = f != 2 && f != 8;
        EXPECT_EQ(kindFits(ValueKind::Plain, f), plain) << int(f);
        EXPECT_EQ(kindFits(ValueKind::String, f), plain) << int(f);
        EXPECT_EQ(kindFits(ValueKind::Format2, f), f == 2) << int(f);
        EXPECT_EQ(kindFits(ValueKind::Real, f), f == 8 || f == 9) << int(f);
    }
    for (uint8_t f : {11, 41, 51, 0xFF}) {
        EXPECT_EQ(formatLength(f), 0);
        EXPECT_FALSE(kindFits(ValueKind::Plain, f));
    }
}

// ---- commands through the engine ----------------------------------------------------------

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine.state().attemptCount = 1;
        engine.state().networkNumber = 5;
        engine.state().computerAddress = 0x1F;
    }

    sim::VirtualClock clock;
    NullEventPump pump;
    test::CommandTrace trace;
    Exchange engine{clock, pump, trace};
    CanLink can{engine};
    // A small catalog: (class bits, code) -> format.
    std::map<std::pair<uint8_t, uint8_t>, uint8_t> catalog{
        {{0x40, 0x15}, 0}, {{0x00, 0x10}, 8}, {{0x80, 0x0A}, 9}, {{0x40, 0x20}, 2},
        {{0x40, 0x30}, 10}, {{0x00, 0x20}, 6}, {{0x40, 0x50}, 4}, {{0x40, 0x32}, 4},
    };
    Commands cmd{engine, can, [this](const ParamCode& c) -> std::optional<uint8_t> {
                     auto it = catalog.find({c.classBits(), c.number});
                     return it == catalog.end() ? std::nullopt : std::optional(it->second);
                 }};
    test::CommandTestPort port{clock};
};

TEST_F(CommandsTest, ReadSendsTheReadBodyAndDeliversTheValue) {
    port.values[0x4015] = {0x14, 0x18};
    Bytes value(2);
    int length = 0;
    ASSERT_EQ(cmd.readRaw(port, 0, {0x40, 0x15, 0}, value, &length), 0);
    EXPECT_EQ(port.written, (Bytes{0x05, 0x03, 0x01, 0x40, 0x15, 0xAA}));
    EXPECT_EQ(value, (Bytes{0x14, 0x18}));
    EXPECT_EQ(length, 2);

    // The index lands in the address high byte; the catalog is searched by class bits only.
    port.values[0x830A] = {0x81, 0x40, 0x00, 0x00};
    double real = 0;
    ASSERT_EQ(cmd.readReal(port, 0, {0x80, 0x0A, 3}, real), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x01, 0x83, 0x0A}));
    EXPECT_EQ(real, 1.0);
    EXPECT_EQ(trace.lines.back(), "81 40 00 00 1");
}

TEST_F(CommandsTest, CatalogChecksRefuseBeforeAnyLineActivity) {
    struct Case { ParamCode code; ValueKind kind; ExchangeResult result; };
    const Case cases[] = {
        {{0x40, 0x99, 0}, ValueKind::Plain, 14},    // not in the catalog
        {{0x00, 0x15, 0}, ValueKind::Plain, 14},    // code known only in another class
        {{0x40, 0x15, 0}, ValueKind::Real, 15},     // format 0 is not a real
        {{0x00, 0x10, 0}, ValueKind::Plain, 15},    // format 8 only for reals
        {{0x40, 0x20, 0}, ValueKind::Plain, 15},    // format 2 only for kind 2
        {{0x40, 0x15, 0}, ValueKind::Format2, 15},
        {{0x40, 0x15, 0}, ValueKind::String, 15},   // strings are written, never read
    };
    for (const auto& c : cases) {
        Bytes value(130, 0xEE);
        EXPECT_EQ(cmd.readParam(port, 0, c.code, c.kind, value), c.result) << int(c.code.number);
        if (c.kind != ValueKind::String) {
            const Bytes data(130, 0x01);
            EXPECT_EQ(cmd.writeParam(port, 0, c.code, data, c.kind), c.result) << int(c.code.number);
        }
        EXPECT_EQ(value, Bytes(130, 0xEE));
    }
    EXPECT_TRUE(port.written.empty());

    Commands noCatalog(engine, can);
    Bytes value(2);
    EXPECT_EQ(noCatalog.readRaw(port, 0, {0x40, 0x15, 0}, value), 14);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(CommandsTest, NoReadWritesPastTheCallersStorage) {
    port.values[0x0020] = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes small(7, 0xEE);
    EXPECT_EQ(cmd.readRaw(port, 0, {0x00, 0x20, 0}, small), 15);   // an 8-byte value
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(small, Bytes(7, 0xEE));

    Bytes big(20, 0xEE);
    int length = 0;
    ASSERT_EQ(cmd.readRaw(port, 0, {0x00, 0x20, 0}, big, &length), 0);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(big, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                          0xEE, 0xEE, 0xEE, 0xEE}));

    // The same on the CAN-BUS types: a 128-byte value in frames, nothing beyond.
    port.canValues[0x4032] = Bytes(128, 0x42);
    Bytes page(131, 0xEE);
    ASSERT_EQ(cmd.readRaw(port, 11, {0x40, 0x32, 0}, page, &length), 0);
    EXPECT_EQ(length, 128);
    EXPECT_EQ(Bytes(page.begin(), page.begin() + 128), Bytes(128, 0x42));
    EXPECT_EQ(Bytes(page.begin() + 128, page.end()), Bytes(3, 0xEE));
    EXPECT_EQ(port.canFrames.size(), 32u);
}

TEST_F(CommandsTest, ExchangeFailuresReturnTheEngineCodeAndDeliverNothing) {
    struct Case {
        const char* name;
        std::function<void(test::CommandTestPort&)> fault;
        ExchangeResult result;
        ExchangeResult writeResult;   // a write expects a receipt only
    };
    const Case cases[] = {
        {"negative receipt", [](auto& p) { p.receipt = Receipt::Negative; }, 3, 3},
        {"no receipt", [](auto& p) { p.receipt = Receipt::None; }, 2, 2},
        {"silence", [](auto& p) { p.silent = true; }, 1, 1},
        {"bad reply sum", [](auto& p) { p.corruptReplySum = true; }, 4, 0},
        {"write fails", [](auto& p) { p.failWrites = true; }, 8, 8},
    };
    for (const auto& c : cases) {
        test::CommandTestPort p(clock);
        p.values[0x4015] = {0x14, 0x18};
        p.values[0x0010] = {0x81, 0x40, 0x00, 0x00};
        c.fault(p);
        Bytes value(2, 0xEE);
        EXPECT_EQ(cmd.readRaw(p, 0, {0x40, 0x15, 0}, value), c.result) << c.name;
        EXPECT_EQ(value, Bytes(2, 0xEE)) << c.name;
        double real = -7;
        EXPECT_EQ(cmd.readReal(p, 0, {0x00, 0x10, 0}, real), c.result) << c.name;
        EXPECT_EQ(real, -7) << c.name;
        const Bytes data{1, 2};
        EXPECT_EQ(cmd.writeParam(p, 0, {0x40, 0x15, 0}, data, ValueKind::Plain), c.writeResult) << c.name;
    }
}

TEST_F(CommandsTest, WriteEnablesThenWritesTheValue) {
    const Bytes data{0x12, 0x34, 0x56};   // one byte more than format 0 takes
    ASSERT_EQ(cmd.writeParam(port, 0, {0x40, 0x15, 0}, data, ValueKind::Plain), 0);
    const Bytes enable{0x05, 0x40, 0x07, 0xBF, 0xEA};
    const Bytes write{0x05, 0x40, 0x15, 0x12, 0x34};
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{enable, write}));
    Bytes wire = traditionalWire(enable);
    const Bytes second = traditionalWire(write);
    wire.insert(wire.end(), second.begin(), second.end());
    EXPECT_EQ(port.written, wire);
}

TEST_F(CommandsTest, RefusedWriteEnableEndsTheWrite) {
    port.receipt = Receipt::Negative;
    const Bytes data{1, 2};
    EXPECT_EQ(cmd.writeParam(port, 0, {0x40, 0x15, 0}, data, ValueKind::Plain), 3);
    EXPECT_EQ(port.bodies.size(), 1u);
    EXPECT_EQ(port.bodies[0][0], 0x05);
    EXPECT_EQ(port.bodies[0][1], 0x40);
    EXPECT_EQ(port.bodies[0][2], 0x07);
}

TEST_F(CommandsTest, StringWriteRunsToTheFirstFFAndNeverBeyond129Bytes) {
    struct Case { Bytes data; int sent; };   // sent: value bytes in the write body, -1 refused
    Bytes fiveThenEnd{'a', 'b', 'c', 'd', 'e', 0xFF, 'x', 'y'};
    Bytes noEnd(200, 'z');
    Bytes endAt128(200, 'z');
    endAt128[128] = 0xFF;
    const Case cases[] = {
        {fiveThenEnd, 6},
        {Bytes{0xFF}, 1},
        {noEnd, 129},
        {endAt128, 129},
        {Bytes(20, 'z'), -1},   // no end within what the caller gave: nothing is sent
    };
    for (const auto& c : cases) {
        port.bodies.clear();
        port.written.clear();
        const ExchangeResult r = cmd.writeParam(port, 0, {0x40, 0x30, 0}, c.data, ValueKind::String);
        if (c.sent < 0) {
            EXPECT_EQ(r, 15);
            EXPECT_TRUE(port.written.empty());
            continue;
        }
        ASSERT_EQ(r, 0);
        ASSERT_EQ(port.bodies.size(), 2u);
        Bytes expected{0x05, 0x40, 0x30};
        expected.insert(expected.end(), c.data.begin(), c.data.begin() + c.sent);
        EXPECT_EQ(port.bodies[1], expected) << c.sent;
    }
    // A format other than 10 written as a string takes the format's length.
    const Bytes data{9, 8, 7};
    ASSERT_EQ(cmd.writeParam(port, 0, {0x40, 0x15, 0}, data, ValueKind::String), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x05, 0x40, 0x15, 9, 8}));
    // Too little data for a fixed format is refused too.
    EXPECT_EQ(cmd.writeParam(port, 0, {0x00, 0x20, 0}, data, ValueKind::Plain), 15);
}

TEST_F(CommandsTest, RealWriteSendsTheControllerFormat) {
    ASSERT_EQ(cmd.writeReal(port, 0, {0x00, 0x10, 2}, 1.0), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x05, 0x02, 0x10, 0x81, 0x40, 0x00, 0x00}));
    ASSERT_EQ(cmd.writeReal(port, 0, {0x80, 0x0A, 0}, -3.0), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x05, 0x80, 0x0A, 0x82, 0xE0, 0x00, 0x00}));
    EXPECT_EQ(cmd.writeReal(port, 0, {0x40, 0x15, 0}, 1.0), 15);
}

TEST_F(CommandsTest, CanChannelsReadRealsAsIeeeThroughTheLink) {
    const ValueBytes v = ieee(12.5f);
    port.canValues[0x0310] = Bytes(v.begin(), v.end());
    double real = 0;
    ASSERT_EQ(cmd.readReal(port, 11, {0x00, 0x10, 3}, real), 0);
    EXPECT_EQ(real, 12.5);
    EXPECT_EQ(port.canFrames.size(), 1u);
    ASSERT_EQ(cmd.readReal(port, 12, {0x00, 0x10, 3}, real), 0);   // gateway read
    EXPECT_EQ(real, 12.5);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x11, 0x10, 0x03, 0x04}));
}

TEST_F(CommandsTest, BitOperationChecksClassBitAndMode) {
    struct Case { BitDescriptor d; ExchangeResult result; };
    const Case cases[] = {
        {{0x41, 'G', 0, 5, 0}, 15},     // not a bit descriptor
        {{0x40, 'H', 0, 5, 0}, 15},     // unknown class
        {{0x40, 'J', 0, 10, 0}, 17},    // 'J' holds bits 64..127
        {{0x40, 'J', 0, 128, 0}, 17},
        {{0x40, 'G', 0, 64, 0}, 17},
        {{0x40, 'I', 0, 64, 0}, 17},
        {{0x40, 'G', 1, 5, 0}, 16},     // 'G' knows mode 0 only
        {{0x40, 'I', 4, 5, 0}, 16},
        {{0x40, 'I', 0, 5, 4}, 16},     // operation selector outside 0..3
    };
    for (const auto& c : cases) {
        uint8_t out = 0xEE;
        EXPECT_EQ(cmd.bitOperation(port, 0, c.d, out), c.result) << char(c.d[1]) << int(c.d[3]);
        EXPECT_EQ(out, 0xEE);
    }
    EXPECT_TRUE(port.written.empty());
}

TEST_F(CommandsTest, BitOperationInModeZeroTakesTheReplyByte) {
    port.replyFor = [](const Bytes& body) -> std::optional<Bytes> {
        if (body[0] == 0x0C)
            return Bytes{0x5A};
        return std::nullopt;
    };
    struct Case { BitDescriptor d; Bytes body; };
    const Case cases[] = {
        {{0x40, 'G', 0, 5, 0}, {0x0C, 5, 0x24}},
        {{0x40, 'G', 0, 63, 3}, {0x0C, 63, 0x30}},
        {{0x40, 'I', 0, 0, 2}, {0x0C, 0, 0x2E}},
        {{0x40, 'J', 0, 64, 1}, {0x0C, 64, 0x27}},
        {{0x40, 'J', 0, 127, 3}, {0x0C, 127, 0x90}},
    };
    for (const auto& c : cases) {
        uint8_t out = 0;
        ASSERT_EQ(cmd.bitOperation(port, 0, c.d, out), 0);
        EXPECT_EQ(port.bodies.back(), c.body);
        EXPECT_EQ(out, 0x5A);
    }
}

TEST_F(CommandsTest, BitOperationWithAModeReadsTheStatusAfterTheReceipt) {
    port.values[0x4000] = {0x11, 0x22};
    uint8_t out = 0;
    const int64_t t0 = clock.nowMs();
    bool statusReadAfterPause = false;
    port.replyFor = [&](const Bytes& body) -> std::optional<Bytes> {
        if (body == Bytes{0x01, 0x40, 0x00})
            statusReadAfterPause = clock.nowMs() - t0 >= 100;
        return std::nullopt;
    };
    ASSERT_EQ(cmd.bitOperation(port, 0, {0x40, 'I', 2, 10, 1}, out), 0);
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x0C, 10, 0x2A | 0x80}, {0x01, 0x40, 0x00}}));
    EXPECT_TRUE(statusReadAfterPause);
    EXPECT_EQ(out, 0x22);

    ASSERT_EQ(cmd.bitOperation(port, 0, {0x40, 'J', 3, 100, 3}, out), 0);
    EXPECT_EQ(port.bodies[2], (Bytes{0x0C, 100, 0x90 | 0xC0}));
}

TEST_F(CommandsTest, GroupDescriptorNumbersAboveSevenAreRefused) {
    Bytes d(10, 0xEE);
    EXPECT_EQ(cmd.readGroupDescriptor(port, 0, 8, d), 18);
    EXPECT_EQ(cmd.readGroupDescriptor(port, 0, -1, d), 18);
    EXPECT_EQ(cmd.writeGroupDescriptor(port, 0, 8, Bytes(200)), 18);
    EXPECT_TRUE(port.written.empty());

    port.values[0x4351] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(cmd.readGroupDescriptor(port, 0, 3, d), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x01, 0x43, 0x51}));
    EXPECT_EQ(d, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    Bytes descriptor(200, 0x33);
    ASSERT_EQ(cmd.writeGroupDescriptor(port, 0, 2, descriptor), 0);
    Bytes write{0x05, 0x42, 0x50};
    write.insert(write.end(), 128, 0x33);   // the catalog's format 4 gives 128 bytes
    EXPECT_EQ(port.bodies, (std::vector<Bytes>{{0x01, 0x43, 0x51}, {0x05, 0x40, 0x07, 0xBD, 0xAF}, write}));
}

TEST_F(CommandsTest, SerialVersionReadTellsTheModelFromTheSecondReply) {
    struct Case { Bytes model; int expected; };
    const Case cases[] = {
        {{0x05, 0x29}, 0},   // both replies equal
        {{1, 254}, 1}, {{2, 253}, 2}, {{3, 252}, 3},
        {{2, 254}, 3},       // nothing fits
        {{0, 255}, 3},
    };
    for (const auto& c : cases) {
        port.values[0x401E] = {0x05, 0x29};
        port.values[0x411E] = c.model;
        VersionInfo info;
        ASSERT_EQ(cmd.readVersion(port, 0, info), 0);
        EXPECT_EQ(info.model, c.expected) << int(c.model[0]) << "," << int(c.model[1]);
        EXPECT_EQ(info.version, (std::array<uint8_t, 2>{0x05, 0x29}));
    }
    port.values.erase(0x411E);
    port.receipt = Receipt::Negative;
    VersionInfo info{7, {9, 9}};
    EXPECT_EQ(cmd.readVersion(port, 0, info), 3);
    EXPECT_EQ(info.model, 7);
}

TEST_F(CommandsTest, CanVersionReadChecksTheModuleNumberInFramesOnBothTypes) {
    struct Case { Bytes module; ExchangeResult result; };
    const Case cases[] = {
        {{0x05, 0x17}, 0},    // 0x1705
        {{0x17, 0x00}, 0},    // 23: below 100, times 256 = 0x1700
        {{0xFF, 0x17}, 0},
        {{0x00, 0x18}, 50},
        {{0xFF, 0x16}, 50},
        {{0x63, 0x00}, 50},   // 99 * 256 = 0x6300
    };
    for (int channelType : {11, 12}) {
        for (const auto& c : cases) {
            port.canFrames.clear();
            port.bodies.clear();
            port.canValues[0xF000] = c.module;
            port.canValues[0x401E] = {0x07, 0x02};
            VersionInfo info;
            ASSERT_EQ(cmd.readVersion(port, channelType, info), c.result) << int(c.module[1]);
            EXPECT_TRUE(port.bodies.empty());   // frames even through the gateway line
            ASSERT_GE(port.canFrames.size(), 2u);
            EXPECT_EQ(port.canFrames[0][4], kCanKindControl);
            EXPECT_EQ(port.canFrames[0][7], 3);
            EXPECT_EQ(port.canFrames[1][7], 0x00);
            EXPECT_EQ(port.canFrames[1][8], 0xF0);
            if (c.result == 0) {
                EXPECT_EQ(info.model, 3);
                EXPECT_EQ(info.version, (std::array<uint8_t, 2>{0x07, 0x02}));
            }
        }
    }
}

TEST_F(CommandsTest, StatusReadSetsTheStateNameAndComparesUnderTheMask) {
    EXPECT_EQ(cmd.stateName(), "");
    struct Case { Bytes word; int channelType; uint8_t mask, expected; ExchangeResult result; std::string name; };
    const Case cases[] = {
        {{0xFF, 0x00}, 0, 0x18, 0, 0, "РАБОТА"},          // serial: the second byte
        {{0x00, 0x08}, 0, 0x18, 0, -1, "ОСТАНОВ"},
        {{0x00, 0x18}, 0, 0x18, 0, -1, "ОСТАНОВ"},         // state 3 keeps the name
        {{0x00, 0x14}, 0, 0x04, 0x04, 0, "ПЕРЕЗАПУСК"},
        {{0x00, 0x80}, 0, 0x80, 1, -1, "РАБОТА"},
        {{0x08, 0x00}, 11, 0x18, 0, -1, "ОСТАНОВ"},        // CAN-BUS: the first byte
        {{0x00, 0x08}, 11, 0x18, 0, 0, "РАБОТА"},
        {{0x10, 0xFF}, 12, 0x18, 0x10, 0, "ПЕРЕЗАПУСК"},
    };
    for (const auto& c : cases) {
        port.values[0x4000] = c.word;
        port.canValues[0x4000] = c.word;
        uint8_t status = 0;
        EXPECT_EQ(cmd.readStatus(port, c.channelType, c.mask, c.expected, &status), c.result);
        EXPECT_EQ(cmd.stateName(), c.name);
        EXPECT_EQ(status, c.channelType > 10 ? c.word[0] : c.word[1]);
    }
    EXPECT_EQ(port.bodies.back(), (Bytes{0x11, 0x00, 0x40, 0x04}));   // type 12 went through the gateway

    port.receipt = Receipt::Negative;
    EXPECT_EQ(cmd.readStatus(port, 0, 0x18, 0), 3);
    EXPECT_EQ(cmd.stateName(), "ПЕРЕЗАПУСК");
}

TEST_F(CommandsTest, TimedValuesComeFromTheBlockOfTheSelector) {
    Bytes raw;
    for (int i = 0; i < 16; ++i) {
        const ValueBytes v = encodeControllerReal(i + 0.5);
        raw.insert(raw.end(), v.begin(), v.end());
        raw.push_back(uint8_t(i));       // hour
        raw.push_back(uint8_t(i * 3));   // minute
    }
    raw[1 * 6 + 4] = 24;                 // record 1: hour out of range
    raw[2 * 6 + 5] = 60;                 // record 2: minute out of range
    std::fill_n(raw.begin() + 3 * 6, 4, 0xFF);   // record 3: no valid value
    port.values[0x2028] = raw;

    std::array<TimedValue, 16> values{};
    ASSERT_EQ(cmd.readTimedValues(port, 0, 0x25, values), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x01, 0x20, 0x28}));
    EXPECT_EQ(values[0].value, 0.5);
    EXPECT_EQ(values[0].time, 0.0);
    EXPECT_EQ(values[1].time, 0.0);
    EXPECT_EQ(values[1].value, 0.0);
    EXPECT_EQ(values[2].value, 0.0);
    EXPECT_EQ(values[3].value, 0.0);
    EXPECT_DOUBLE_EQ(values[3].time, (3 * 60 + 9) / 1440.0);
    EXPECT_EQ(values[15].value, 15.5);
    EXPECT_DOUBLE_EQ(values[15].time, (15 * 60 + 45) / 1440.0);
}

TEST_F(CommandsTest, ThirtyTwoValuesTurnTheMarkerIntoZero) {
    Bytes raw;
    for (int i = 0; i < 32; ++i) {
        const ValueBytes v = i == 7 ? ValueBytes{0xFF, 0xFF, 0xFF, 0xFF} : encodeControllerReal(i);
        raw.insert(raw.end(), v.begin(), v.end());
    }
    port.values[0x0335] = raw;
    std::array<double, 32> values{};
    ASSERT_EQ(cmd.read32Values(port, 0, 0x03, 5, values), 0);
    EXPECT_EQ(port.bodies.back(), (Bytes{0x01, 0x03, 0x35}));
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(values[std::size_t(i)], i == 7 ? 0.0 : double(i)) << i;

    // CAN-BUS: IEEE singles in frames.
    Bytes canRaw;
    for (int i = 0; i < 32; ++i) {
        const ValueBytes v = ieee(i == 9 ? 3.3e38f : float(i) * 0.25f);
        canRaw.insert(canRaw.end(), v.begin(), v.end());
    }
    port.canValues[0x0335] = canRaw;
    ASSERT_EQ(cmd.read32Values(port, 11, 0x03, 5, values), 0);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(values[std::size_t(i)], i == 9 ? 0.0 : i * 0.25) << i;
}

TEST_F(CommandsTest, SimpleCommandsSendOneByteBodiesForAReceipt) {
    ASSERT_EQ(cmd.resetFailures(port, 0), 0);
    ASSERT_EQ(cmd.setRunMode(port, 0), 0);
    ASSERT_EQ(cmd.release(port, 0), 0);
    Bytes wire;
    for (uint8_t code : {0x00, 0x08, 0x0B}) {
        const Bytes w = traditionalWire({code});
        wire.insert(wire.end(), w.begin(), w.end());
    }
    EXPECT_EQ(port.written, wire);
    port.receipt = Receipt::Negative;
    EXPECT_EQ(cmd.setRunMode(port, 0), 3);
    EXPECT_EQ(cmd.release(port, 11), 50);   // no request bodies on the CAN adapter channel
}

TEST_F(CommandsTest, ScopedAttemptCountRestoresTheSetting) {
    engine.state().attemptCount = 3;
    {
        ScopedAttemptCount once(engine, 1);
        EXPECT_EQ(engine.state().attemptCount, 1);
    }
    EXPECT_EQ(engine.state().attemptCount, 3);
}
