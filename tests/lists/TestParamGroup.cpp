#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "lists/ParamGroup.h"
#include "protocol/ControllerReal.h"

using namespace kv;

namespace {

ParamCode4 code(uint8_t cls, uint8_t number, uint8_t index, uint8_t format) { return {cls, number, index, format}; }

// A group with one entry of the given format, its value bytes at reply offset 0.
ParamGroup oneEntry(uint8_t format, std::vector<uint8_t> value)
{
    ParamGroup g;
    g.addParam(code(0x80, 0x01, 0, format), -1, "x");
    std::array<uint8_t, 200> area{};
    g.makeDescr(area);
    std::copy(value.begin(), value.end(), g.reply().begin());
    return g;
}

std::vector<uint8_t> real(double v)
{
    const auto b = encodeControllerReal(v);
    return {b.begin(), b.end()};
}

std::vector<uint8_t> ieee(float v)
{
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

} // namespace

TEST(ParamGroup, EntriesAreAppendedInsertedChangedAndDeletedByPosition)
{
    ParamGroup g;
    EXPECT_TRUE(g.addParam(code(0, 1, 2, 8), -1, "A"));
    EXPECT_TRUE(g.addParam(code(0, 2, 0, 8), -1, "C"));
    EXPECT_TRUE(g.addParam(code(0, 3, 0, 8), 1, "B"));
    EXPECT_TRUE(g.addParam(code(0, 4, 0, 8), 99, "D"));   // beyond the end appends
    ASSERT_EQ(g.count(), 4);
    EXPECT_EQ(g.getName(0) + g.getName(1) + g.getName(2) + g.getName(3), "ABCD");
    EXPECT_EQ(g.getCode(0), (ParamCode3{0, 1, 2}));

    g.setBound(1, 0, 5.0);
    g.setBound(1, 1, 6.0);
    EXPECT_TRUE(g.changeParam(code(0x80, 7, 3, 2), 1, "B2"));
    EXPECT_EQ(g.getCode(1), (ParamCode3{0x80, 7, 3}));
    EXPECT_EQ(g.entry(1)->format, 2);
    EXPECT_EQ(g.getBound(1, 0), 5.0);   // bounds stay on change
    EXPECT_EQ(g.getBound(1, 1), 6.0);
    EXPECT_FALSE(g.changeParam(code(0, 0, 0, 0), 4, "none"));

    EXPECT_FALSE(g.delParam(4));
    EXPECT_FALSE(g.delParam(-1));
    EXPECT_TRUE(g.delParam(0));
    EXPECT_EQ(g.count(), 3);
    EXPECT_EQ(g.getName(0), "B2");

    // A new entry never inherits the bounds of an entry that stood in its place before.
    EXPECT_TRUE(g.delParam(0));
    EXPECT_TRUE(g.addParam(code(0, 9, 0, 8), 0, "N"));
    EXPECT_EQ(g.getBound(0, 0), 0.0);
    EXPECT_EQ(g.getBound(0, 1), 0.0);
}

TEST(ParamGroup, DateParametersGetTheirOwnFormatCodesAndNamesAreCutTo39Characters)
{
    ParamGroup g;
    g.addParam(code(0x40, 0x16, 0, 0), -1, "Дата");
    g.addParam(code(0x40, 0x17, 0, 0), -1, "Год");
    g.addParam(code(0x40, 0x15, 0, 1), -1, std::string(45, 'x'));
    g.addParam(code(0x00, 0x16, 0, 8), -1, "Не дата");
    EXPECT_EQ(g.entry(0)->format, kFormatDate);
    EXPECT_EQ(g.entry(1)->format, kFormatYear);
    EXPECT_EQ(g.entry(2)->format, 1);
    EXPECT_EQ(g.entry(3)->format, 8);
    EXPECT_EQ(g.getName(2), std::string(39, 'x'));
    g.setGroup("Группа с очень длинным названием, больше тридцати девяти", -5);
    EXPECT_EQ(g.name(), "Группа с очень длинным названием, больш");
    EXPECT_EQ(g.period(), 0);
}

TEST(ParamGroup, AFullGroupRefusesTheSixtyFifthEntryAndItsDescriptorHasNoTerminator)
{
    ParamGroup g;
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(g.addParam(code(0x00, uint8_t(i), 1, 1), -1, "p"));
    EXPECT_FALSE(g.addParam(code(0x00, 0x70, 0, 1), -1, "too many"));
    EXPECT_FALSE(g.addParam(code(0x00, 0x70, 0, 1), 0, "too many"));
    EXPECT_EQ(g.count(), 64);
    EXPECT_EQ(g.getCode(0)[1], 0);

    std::array<uint8_t, 200> area;
    area.fill(0xAA);
    EXPECT_EQ(g.makeDescr(area), 128u);
    EXPECT_EQ(area[126], 0x01);
    EXPECT_EQ(area[127], 63);
    EXPECT_EQ(area[128], 0xAA);   // nothing written after the 64th pair
    EXPECT_EQ(g.replyLength(), 128);
}

TEST(ParamGroup, DescriptorAddsTheIndexToTheClassByteAndSetsReplyOffsets)
{
    ParamGroup g;
    g.addParam(code(0x80, 0x05, 3, 8), -1, "real");
    g.addParam(code(0xFF, 0x20, 2, 1), -1, "time");
    g.addParam(code(0x00, 0x11, 7, 6), -1, "eight bytes");
    g.reply().fill(0x55);

    std::array<uint8_t, 200> area{};
    ASSERT_EQ(g.makeDescr(area), 7u);
    EXPECT_EQ(std::vector<uint8_t>(area.begin(), area.begin() + 8),
              (std::vector<uint8_t>{0x83, 0x05, 0x01, 0x20, 0x07, 0x11, 0xFF, 0x00}));
    EXPECT_EQ(g.entry(0)->replyOffset, 0);
    EXPECT_EQ(g.entry(1)->replyOffset, 4);
    EXPECT_EQ(g.entry(2)->replyOffset, 6);
    EXPECT_EQ(g.replyLength(), 14);
    EXPECT_EQ(g.lengthSum(), 14);
    for (uint8_t b : g.reply())
        ASSERT_EQ(b, 0);

    // The caller's area must hold the whole descriptor; a short one is left alone.
    std::array<uint8_t, 6> small{};
    EXPECT_EQ(g.makeDescr(small), 0u);
    EXPECT_EQ(small[0], 0);

    ParamGroup empty;
    EXPECT_EQ(empty.makeDescr(area), 1u);
    EXPECT_EQ(area[0], 0xFF);
    EXPECT_EQ(empty.replyLength(), 0);
}

TEST(ParamGroup, ValueSizeTable)
{
    const std::vector<std::pair<int, int>> table = {{0, 2}, {1, 2}, {2, 4},  {3, 2},  {4, 128}, {5, 2},  {6, 8},
                                                    {7, 4}, {8, 4}, {9, 4}, {10, 128}, {41, 2},  {51, 2}, {11, 0},
                                                    {40, 0}, {255, 0}};
    for (auto [format, length] : table)
        EXPECT_EQ(valueLength(uint8_t(format)), length) << "format " << format;
}

TEST(ParamGroup, ValueTextByFormatAndByteOrder)
{
    struct Case {
        uint8_t format;
        std::vector<uint8_t> bytes;
        bool legacy;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, {9, 30}, true, "09 30"},
        {1, {9, 30}, true, "09:30"},
        {1, {9, 30}, false, "30:09"},
        {41, {5, 3}, true, "05.03"},
        {41, {5, 3}, false, "03.05"},
        {51, {20, 24}, true, "2024"},
        {51, {20, 24}, false, "2420"},
        {0, {0, 255}, true, "00 255"},
        {2, {1, 0, 1, 2}, true, "1000258"},
        {2, {1, 0, 1, 2}, false, "1000258"},
        {8, real(1.0), true, "       1.000"},
        {8, real(-1234.5), true, "   -1234.500"},
        {8, {0xFF, 0xFF, 0xFF, 0xFF}, true, kInvalidValueText},
        {8, ieee(2.5f), false, "       2.500"},
        {8, ieee(std::numeric_limits<float>::quiet_NaN()), false, kInvalidValueText},
        {3, {0x0A, 0xB1}, true, "0A B1"},
        {3, {0x0A, 0xB1}, false, "0A B1"},   // hexadecimal dumps keep the stored order
        {9, real(1.0), true, "81 40 00 00"},
        {6, {1, 2, 3, 4, 5, 6, 7, 0xFE}, true, "01 02 03 04 05 06 07 FE"},
    };
    for (const Case& c : cases) {
        ParamGroup g = oneEntry(c.format, c.bytes);
        EXPECT_EQ(g.valueText(0, g.reply(), c.legacy, 0), c.text) << "format " << int(c.format);
        EXPECT_TRUE(g.inTol());
    }

    // Format 4: 128 bytes, 383 characters.
    ParamGroup big = oneEntry(4, std::vector<uint8_t>(128, 0x7F));
    const std::string dump = big.valueText(0, big.reply(), true, 0);
    EXPECT_EQ(dump.size(), 383u);
    EXPECT_EQ(dump.substr(0, 6), "7F 7F ");
}

TEST(ParamGroup, RealsUseTheGivenDecimalSeparatorAndDecodedValuesGoToTheTrace)
{
    struct Lines : TraceLog {
        std::vector<std::string> lines;
        void debugLog(const std::string& l) override { lines.push_back(l); }
    } trace;
    ParamGroup g = oneEntry(8, real(3.0));
    EXPECT_EQ(g.valueText(0, g.reply(), 0, ValueStyle{true, ',', &trace}), "       3,000");
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0], "82 60 00 00 3");
}

TEST(ParamGroup, ValueStrRightAlignsShortTextsIn13Characters)
{
    ParamGroup g;
    g.addParam(code(0x40, 0x15, 0, 1), -1, "time");
    g.addParam(code(0x00, 0x11, 0, 6), -1, "hex");
    g.addParam(code(0x00, 0x03, 0, 2), -1, "count");
    g.addParam(code(0x00, 0x03, 0, 7), -1, "hex4");
    std::array<uint8_t, 200> area{};
    g.makeDescr(area);
    g.reply()[0] = 8;
    g.reply()[1] = 7;
    EXPECT_EQ(g.valueStr(0, true), "        08:07");
    EXPECT_EQ(g.valueStr(0, false), "        07:08");
    EXPECT_EQ(g.valueStr(1, true), "00 00 00 00 00 00 00 00");   // 23 characters: unchanged
    EXPECT_EQ(g.valueStr(2, true), "            0");
    EXPECT_EQ(g.valueStr(3, true), "  00 00 00 00");                // 11 characters padded
    EXPECT_EQ(g.valueStr(9, true), "             ");                // no such entry
}

TEST(ParamGroup, ToleranceCheckOfRealValues)
{
    struct Case {
        double lower, upper;
        std::vector<uint8_t> bytes;
        bool legacy;
        bool inTol;
    };
    const std::vector<Case> cases = {
        {0, 0, real(1e9), true, true},
        {0, 0, {0xFF, 0xFF, 0xFF, 0xFF}, true, true},   // no bounds: even the marker is fine
        {10, 20, real(20.0), true, true},
        {10, 20, real(10.0), true, true},
        {10, 20, ieee(20.0001f), false, false},
        {10, 20, real(9.5), true, false},
        {10, 20, {0xFF, 0xFF, 0xFF, 0xFF}, true, false},  // the marker lies above every bound
        {-5, 0, real(-2.0), true, true},                  // one bound 0 is still a bound
        {-5, 0, real(1.0), true, false},
    };
    for (const Case& c : cases) {
        ParamGroup g = oneEntry(8, c.bytes);
        g.setBound(0, 0, c.lower);
        g.setBound(0, 1, c.upper);
        g.valueStr(0, c.legacy);
        EXPECT_EQ(g.inTol(), c.inTol) << c.lower << ".." << c.upper;
    }

    // NaN bounds (from a damaged tolerance file) never let a value through.
    ParamGroup g = oneEntry(8, real(1.0));
    g.setBound(0, 0, std::nan(""));
    g.setBound(0, 1, 5.0);
    g.valueStr(0, true);
    EXPECT_FALSE(g.inTol());

    // Other formats are never out of tolerance, and each text starts from "in tolerance".
    ParamGroup h = oneEntry(9, real(100.0));
    h.setBound(0, 0, 1.0);
    h.setBound(0, 1, 2.0);
    h.valueStr(0, true);
    EXPECT_TRUE(h.inTol());
}

TEST(ParamGroup, TolChangedArmsFirstThenReportsCrossings)
{
    ParamGroup g;
    g.addParam(code(0x00, 0x11, 0, 8), -1, "bounded");
    g.addParam(code(0x00, 0x12, 0, 8), -1, "no bounds");
    g.addParam(code(0x00, 0x13, 0, 9), -1, "format 9");
    std::array<uint8_t, 200> area{};
    g.makeDescr(area);
    g.setBound(0, 0, 10);
    g.setBound(0, 1, 20);
    g.setBound(2, 0, 10);
    g.setBound(2, 1, 20);
    auto put = [&](int pos, double v) {
        const auto b = encodeControllerReal(v);
        std::copy(b.begin(), b.end(), g.reply().begin() + g.entry(pos)->replyOffset);
    };

    put(0, 15);
    EXPECT_FALSE(g.prevValid());
    g.savePrev();
    put(0, 25);
    EXPECT_FALSE(g.tolChanged(true));   // right after the descriptors: only arms
    EXPECT_TRUE(g.prevValid());
    EXPECT_FALSE(g.entry(0)->tolChanged);

    g.savePrev();
    put(0, 15);
    put(1, 1e6);
    put(2, 1e6);
    EXPECT_TRUE(g.tolChanged(true));
    EXPECT_TRUE(g.entry(0)->tolChanged);
    EXPECT_FALSE(g.entry(1)->tolChanged);
    EXPECT_FALSE(g.entry(2)->tolChanged);

    g.savePrev();
    put(0, 16);
    EXPECT_FALSE(g.tolChanged(true));
    EXPECT_FALSE(g.entry(0)->tolChanged);

    g.setPrevValid(false);
    g.savePrev();
    put(0, 50);
    EXPECT_FALSE(g.tolChanged(true));
}

TEST(ParamGroup, ValuesBeyondTheReplyBufferAreNeverRead)
{
    // Only a damaged group file can describe more than the buffer holds.
    ParamGroup g;
    for (int i = 0; i < 3; ++i)
        g.addParam(code(0x00, uint8_t(i), 0, 4), -1, "string");
    g.addParam(code(0x00, 0x11, 0, 8), -1, "real");
    std::array<uint8_t, 200> area{};
    g.makeDescr(area);
    EXPECT_EQ(g.replyLength(), 3 * 128 + 4);
    EXPECT_EQ(g.entry(3)->replyOffset, 384);
    g.setBound(3, 0, 1);
    g.setBound(3, 1, 2);
    EXPECT_EQ(g.valueStr(1, true), "             ");
    EXPECT_EQ(g.valueStr(3, true), "             ");
    EXPECT_TRUE(g.inTol());
    g.savePrev();
    g.tolChanged(true);
    EXPECT_FALSE(g.tolChanged(true));

    // A caller's buffer with the value only partly inside it.
    ParamGroup r = oneEntry(8, real(1.0));
    const std::array<uint8_t, 5> shortBuffer{0x81, 0x40, 0, 0, 0};
    EXPECT_EQ(r.valueText(0, shortBuffer, true, 2), "");
    EXPECT_EQ(r.valueText(0, shortBuffer, true, 9), "");
    EXPECT_EQ(r.valueText(0, shortBuffer, true, 0), "       1.000");
}
