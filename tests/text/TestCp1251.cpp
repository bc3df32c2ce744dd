#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "text/Cp1251.h"
#include "text/ShortString.h"

using namespace kv::text;

TEST(Cp1251, EveryAssignedByteSurvivesTheRoundTrip)
{
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98)
            continue;
        const std::string one(1, char(b));
        EXPECT_EQ(toCp1251(fromCp1251(one)), one) << "byte " << b;
    }
    EXPECT_EQ(fromCp1251("\x98"), "\xEF\xBF\xBD");   // unassigned: replacement character
    EXPECT_EQ(toCp1251(fromCp1251("\x98")), "?");
}

TEST(Cp1251, MapsTheLettersAndSignsOfRussianTexts)
{
    const struct { const char* cp; const char* utf8; } cases[] = {
        {"\xC0\xE0\xDF\xFF", "АаЯя"},
        {"\xA8\xB8", "Ёё"},
        {"\xB9", "№"},
        {"\xAB\xBB\x93\x94\x84", "«»“”„"},
        {"\x96\x97", "–—"},
        {"\x88\x85\xB0\xA0", "€…°\xC2\xA0"},
        {"\xC7\xC5\xCD\xD2\xC0\xD0 10", "ЗЕНТАР 10"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fromCp1251(c.cp), c.utf8);
        EXPECT_EQ(toCp1251(c.utf8), c.cp);
    }
}

TEST(Cp1251, CharactersWithoutCp1251FormAndBrokenUtf8BecomeQuestionMarks)
{
    EXPECT_EQ(toCp1251("a中b"), "a?b");
    EXPECT_EQ(toCp1251("x\xD0"), "x?");           // cut-off sequence
    EXPECT_EQ(toCp1251("\xC0\xAF"), "??");         // overlong form of '/'
    EXPECT_EQ(toCp1251("\xED\xA0\x80"), "???");    // surrogate
    EXPECT_EQ(toCp1251("😀"), "?");
}

TEST(Cp1251, CountsAndCutsByCharacters)
{
    EXPECT_EQ(charCount("Контроллер_1"), 12u);
    EXPECT_EQ(leftChars("Контроллер_1", 5), "Контр");
    EXPECT_EQ(leftChars("abc", 10), "abc");
    EXPECT_EQ(leftChars("abc", 0), "");
}

TEST(Cp1251, UpperCaseCoversAsciiAndCyrillic)
{
    EXPECT_EQ(upper("ёжик Hayes-модем ґ ў"), "ЁЖИК HAYES-МОДЕМ Ґ Ў");
    EXPECT_EQ(asciiUpper("gsm-модем"), "GSM-модем");
    EXPECT_EQ(upperCp1251("\xB8\xE0z\xB3"), "\xA8\xC0Z\xB2");   // ёаzі → ЁАZІ
    EXPECT_TRUE(equalsNoCase("Параметр", "пАРАМЕТР"));
    EXPECT_FALSE(equalsNoCase("Параметр", "Параметры"));
}

TEST(ShortString, LengthByteIsClampedToTheCapacity)
{
    std::array<uint8_t, 6> field = {200, 0xCA, 0xE2, 'a', 'b', 'c'};
    EXPECT_EQ(readShortString(field, 5), "Квabc");
    EXPECT_EQ(readShortString(field, 2), "Кв");
    // A capacity larger than the field never reads past it.
    EXPECT_EQ(readShortString(std::span<const uint8_t>(field.data(), 3), 35), "Кв");
    EXPECT_EQ(readShortString({}, 35), "");
}

TEST(ShortString, WritingCutsToCapacityAndClearsTheRest)
{
    std::vector<uint8_t> field(8, 0x55);
    writeShortString(field, 4, "Контроллер");
    EXPECT_EQ(field, (std::vector<uint8_t>{4, 0xCA, 0xEE, 0xED, 0xF2, 0x55, 0x55, 0x55}));
    writeShortString(field, 6, "Ёж");
    EXPECT_EQ(field, (std::vector<uint8_t>{2, 0xA8, 0xE6, 0, 0, 0, 0, 0x55}));
    EXPECT_EQ(readShortString(field, 6), "Ёж");
}
