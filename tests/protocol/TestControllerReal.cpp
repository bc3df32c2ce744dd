#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "protocol/CommandTestPort.h"
#include "protocol/ControllerReal.h"

using namespace kv;

namespace {

struct RealCase {
    ValueBytes bytes;
    double value;
};

// The controller's own examples plus the ends of the exponent range.
const RealCase kDecodeCases[] = {
    {{0x81, 0x40, 0x00, 0x00}, 1.0},
    {{0x82, 0x60, 0x00, 0x00}, 3.0},
    {{0x81, 0xC0, 0x00, 0x00}, -1.0},
    {{0x80, 0x40, 0x00, 0x00}, 0.5},
    {{0x81, 0x40, 0x00, 0x01}, 1.0 + std::ldexp(1.0, -22) + std::ldexp(1.0, -23)},
    {{0x8B, 0x7D, 0x00, 0x00}, 2000.0},
    {{0x9F, 0x40, 0x00, 0x00}, std::ldexp(1.0, 30)},      // largest exponent still valid
    {{0x02, 0x40, 0x00, 0x00}, std::ldexp(1.0, -127)},    // smallest exponent still valid
    {{0x01, 0x40, 0x00, 0x00}, 0.0},                      // exponent below 2
    {{0x00, 0xFF, 0xFF, 0xFF}, 0.0},
    {{0xA0, 0x40, 0x00, 0x00}, kInvalidValue},            // exponent 160
    {{0xFE, 0x12, 0x34, 0x56}, kInvalidValue},
    {{0xFF, 0xFF, 0xFF, 0xFF}, kInvalidValue},
};

} // namespace

TEST(ControllerReal, DecodesTheControllersExamplesAndTheExponentLimits) {
    for (const auto& c : kDecodeCases)
        EXPECT_EQ(decodeControllerReal(c.bytes), c.value) << hexBytes(c.bytes);
}

TEST(ControllerReal, EncodesTheControllersExamples) {
    const RealCase cases[] = {
        {{0x81, 0x40, 0x00, 0x00}, 1.0},  {{0x82, 0x60, 0x00, 0x00}, 3.0},
        {{0x81, 0xC0, 0x00, 0x00}, -1.0}, {{0x80, 0x40, 0x00, 0x00}, 0.5},
        {{0x80, 0x00, 0x00, 0x00}, 0.0},  {{0x80, 0x00, 0x00, 0x00}, -0.0},
        {{0x8B, 0x7D, 0x00, 0x00}, 2000.0},
        {{0xFF, 0xFF, 0xFF, 0xFF}, kInvalidValue}, {{0xFF, 0xFF, 0xFF, 0xFF}, 4e38},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encodeControllerReal(c.value), c.bytes) << c.value;
}

TEST(ControllerReal, EncodingDecodesBackWithinTheLowestBit) {
    for (double v : {1.0 / 3.0, -2.0 / 3.0, 0.1, 123.456, -98765.4321, 1e-20, 3.14159265358979, 1e9}) {
        const ValueBytes b = encodeControllerReal(v);
        const double back = decodeControllerReal(b);
        const double lowestBit = std::ldexp(1.0, b[0] - 151);
        EXPECT_LT(std::fabs(v - back), lowestBit) << v;
        EXPECT_EQ(std::signbit(back), std::signbit(v)) << v;
    }
    // 1/3 = 0.0101...: top weight 0.25 (b0 = 127), the mantissa cut after 23 bits, not rounded.
    EXPECT_EQ(encodeControllerReal(1.0 / 3.0), (ValueBytes{0x7F, 0x55, 0x55, 0x55}));
    // Just below the lowest bit's weight: rounding would set it, truncation does not.
    EXPECT_EQ(encodeControllerReal(1.0 + 0.999 * std::ldexp(1.0, -22)), (ValueBytes{0x81, 0x40, 0x00, 0x00}));
}

TEST(ControllerReal, ValuesTheExponentByteCannotHoldNeverWrapAround) {
    // Between 2^127 and the marker the exponent byte would pass 255 and wrap to a tiny number.
    EXPECT_EQ(encodeControllerReal(2.5e38), (ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encodeControllerReal(-2.5e38), (ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encodeControllerReal(-5e38), (ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encodeControllerReal(std::nan("")), (ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}));
    // Below 2^-127 the controller cannot hold the value; it is written as 0.
    EXPECT_EQ(encodeControllerReal(1e-39), (ValueBytes{0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(encodeControllerReal(std::ldexp(1.0, -127)), (ValueBytes{0x02, 0x40, 0x00, 0x00}));
    // Large but valid: exponent bytes from 160 on read back as the marker, as the controller reads them.
    EXPECT_EQ(decodeControllerReal(encodeControllerReal(1e12)), kInvalidValue);
}

TEST(ControllerReal, TracesEveryValueDecodedFromItsBitsOnly) {
    test::CommandTrace trace;
    decodeControllerReal(ValueBytes{0x81, 0x40, 0x00, 0x00}, &trace);
    decodeControllerReal(ValueBytes{0x80, 0x40, 0x00, 0x00}, &trace);
    decodeControllerReal(ValueBytes{0x81, 0xC0, 0x00, 0x00}, &trace);
    decodeControllerReal(ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}, &trace);   // marker: no line
    decodeControllerReal(ValueBytes{0x01, 0x40, 0x00, 0x00}, &trace);   // exponent zero: no line
    EXPECT_EQ(trace.lines, (std::vector<std::string>{"81 40 00 00 1", "80 40 00 00 0.5", "81 C0 00 00 -1"}));
}

TEST(ControllerInteger, WeighsTheFirstByteOneMillionAndTracesTheNumber) {
    test::CommandTrace trace;
    EXPECT_EQ(decodeControllerInteger(ValueBytes{0x01, 0x02, 0x03, 0x04}, &trace), 1131844u);
    EXPECT_EQ(decodeControllerInteger(ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}), 271777215u);
    EXPECT_EQ(decodeControllerInteger(ValueBytes{0x00, 0x00, 0x01, 0x00}), 256u);
    EXPECT_EQ(trace.lines, (std::vector<std::string>{"01 02 03 04 1131844"}));
}

TEST(IeeeSingle, DecodesLittleEndianAndMarksWhatCannotBeAValue) {
    auto le = [](float f) {
        const uint32_t u = std::bit_cast<uint32_t>(f);
        return ValueBytes{uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    };
    EXPECT_EQ(decodeIeeeSingle(ValueBytes{0x00, 0x00, 0x80, 0x3F}), 1.0);
    EXPECT_EQ(decodeIeeeSingle(le(-2.5f)), -2.5);
    EXPECT_EQ(decodeIeeeSingle(le(0.0f)), 0.0);
    EXPECT_EQ(decodeIeeeSingle(le(-0.0f)), 0.0);
    EXPECT_EQ(decodeIeeeSingle(le(2e-25f)), double(2e-25f));
    EXPECT_EQ(decodeIeeeSingle(le(5e-26f)), kInvalidValue);
    EXPECT_EQ(decodeIeeeSingle(le(-1e-30f)), kInvalidValue);
    EXPECT_EQ(decodeIeeeSingle(le(3.2e38f)), kInvalidValue);
    EXPECT_EQ(decodeIeeeSingle(le(INFINITY)), kInvalidValue);
    EXPECT_EQ(decodeIeeeSingle(ValueBytes{0xFF, 0xFF, 0xFF, 0xFF}), kInvalidValue);   // NaN
}

TEST(ChannelReal, SerialTypesUseTheControllerFormatAndCanTypesIeee) {
    const ValueBytes one{0x81, 0x40, 0x00, 0x00};
    const ValueBytes ieeeOne{0x00, 0x00, 0x80, 0x3F};
    for (int ct = 0; ct <= 10; ++ct)
        EXPECT_EQ(decodeChannelReal(one, ct), 1.0) << ct;
    for (int ct : {11, 12}) {
        EXPECT_EQ(decodeChannelReal(ieeeOne, ct), 1.0) << ct;
        EXPECT_NE(decodeChannelReal(one, ct), 1.0) << ct;
    }
}
