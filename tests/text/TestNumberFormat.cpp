#include <gtest/gtest.h>

#include "text/NumberFormat.h"

using namespace kv::text;

TEST(NumberFormat, FixedFormatsUseTheGivenDecimalSeparator)
{
    const struct { const char* fmt; double v; char sep; const char* want; } cases[] = {
        {"%12.3f", 3.14159, ',', "       3,142"},
        {"%10.3f", -1234.5, '.', " -1234.500"},
        {"%7.3f", 0.0005, ',', "  0,001"},
        {"%10.3f", 123456789.0, '.', "123456789.000"},
        {"%.2e", 12345.0, ',', "1,23e+04"},
        {"%10.3f  час", 2.5, ',', "     2,500  час"},
        {"%5.1f%%", 99.44, ',', " 99,4%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatReal(c.fmt, c.v, c.sep), c.want) << c.fmt;
}

TEST(NumberFormat, FormatsThatAreNotOneRealConversionGiveNothing)
{
    for (const char* bad : {"%d", "%s", "%f %f", "plain", "%", "%10.3", "%*f", "%ld"})
        EXPECT_EQ(formatReal(bad, 1.0), "") << bad;
    EXPECT_EQ(formatReal(nullptr, 1.0), "");
}

TEST(NumberFormat, PaddingCountsCharactersNotBytes)
{
    EXPECT_EQ(padLeft("Отказ", 8), "   Отказ");
    EXPECT_EQ(padRight("Отказ", 8), "Отказ   ");
    EXPECT_EQ(padLeft("длинный текст", 3), "длинный текст");
}

TEST(NumberFormat, TypedNumbersAcceptTheOtherSeparator)
{
    const auto comma = DecimalSeparators::forSystem(',');
    const auto point = DecimalSeparators::forSystem('.');
    EXPECT_EQ(comma.inUse, ',');
    EXPECT_EQ(comma.toReplace, '.');
    EXPECT_EQ(point.inUse, '.');
    EXPECT_EQ(point.toReplace, ',');

    const struct { const char* typed; bool ok; double v; } cases[] = {
        {"12.5", true, 12.5}, {"12,5", true, 12.5}, {"  -0,25 ", true, -0.25},
        {"+3", true, 3}, {"1e3", true, 1000}, {".5", true, 0.5},
        {"", false, 0}, {"abc", false, 0}, {"1,2.3", false, 0}, {"inf", false, 0},
        {"nan", false, 0}, {"12a", false, 0}, {"1e999", false, 0}, {"0x10", false, 0},
    };
    for (const auto& c : cases) {
        for (const auto& seps : {comma, point}) {
            double v = -99;
            EXPECT_EQ(parseReal(c.typed, seps, v), c.ok) << c.typed;
            if (c.ok) {
                EXPECT_DOUBLE_EQ(v, c.v) << c.typed;
            }
        }
    }
}

TEST(NumberFormat, IntegersAreWholeTextDecimalOrHexadecimal)
{
    const struct { const char* text; bool ok; long v; } cases[] = {
        {"12", true, 12}, {" 7 ", true, 7}, {"-5", true, -5}, {"$1F", true, 31},
        {"0x10", true, 16}, {"$FFFFFFFF", true, -1}, {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483648L}, {"2147483648", false, 0}, {"12abc", false, 0},
        {"", false, 0}, {"$", false, 0}, {"1F", false, 0}, {"$1G", false, 0}, {"1 2", false, 0},
    };
    for (const auto& c : cases) {
        long v = -99;
        EXPECT_EQ(parseInteger(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.v) << c.text;
        }
    }
}
