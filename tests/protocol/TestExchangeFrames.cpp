// Frames and checksums as they must appear on the wire, and the result texts.
#include <gtest/gtest.h>

#include <string_view>

#include "protocol/Checksums.h"
#include "protocol/ExchangeResult.h"
#include "protocol/Frames.h"

using namespace kv;
using Bytes = std::vector<uint8_t>;

TEST(Checksums, Crc16MatchesTheStandardCheckValueAndClosesOverItsOwnBytes)
{
    const std::string_view text = "123456789";
    const Bytes ascii(text.begin(), text.end());
    EXPECT_EQ(crc16(ascii), 0x6F91);
    Bytes withCrc = ascii;
    withCrc.push_back(0x91);
    withCrc.push_back(0x6F);
    EXPECT_EQ(crc16(withCrc), 0);
    // Continuing from a previous value is the same as one pass over both parts.
    EXPECT_EQ(crc16(Bytes(ascii.begin() + 4, ascii.end()), crc16(Bytes(ascii.begin(), ascii.begin() + 4))),
              0x6F91);
}

TEST(Checksums, SumAndItsComplement)
{
    EXPECT_EQ(sum8(Bytes{0x01, 0x40, 0x15}), 0x56);
    EXPECT_EQ(complementSum8(Bytes{0x01, 0x40, 0x15}), 0xAA);
    EXPECT_EQ(sum8(Bytes{0x14, 0x18, 0xD4}), 0x00);
    EXPECT_EQ(complementSum8(Bytes{}), 0x00);
    EXPECT_EQ(complementSum8(Bytes{0x80, 0x80}), 0x00);
}

TEST(Frames, TraditionalFrameCarriesLengthBodyAndComplementChecksum)
{
    EXPECT_EQ(traditionalFrame(Bytes{0x01, 0x40, 0x15}), (Bytes{0x03, 0x01, 0x40, 0x15, 0xAA}));
    EXPECT_EQ(traditionalFrame(Bytes{0x0B}), (Bytes{0x01, 0x0B, 0xF5}));
    EXPECT_TRUE(traditionalFrame(Bytes(255, 0x11)).has_value());
    EXPECT_FALSE(traditionalFrame(Bytes(256, 0x11)).has_value());
}

TEST(Frames, Ft11FrameHasLengthControlAndAddressOnly)
{
    EXPECT_EQ(ft11Frame(Bytes{0x01, 0x40, 0x15}, 5), (Bytes{0x05, 0x40, 0x05, 0x01, 0x40, 0x15}));
    EXPECT_FALSE(ft11Frame(Bytes(254, 0), 5).has_value());
}

struct Ft12Case {
    const char* name;
    Bytes body;
    int crcMode;
    Bytes wire;
};

// Failure messages name the case, not its bytes.
void PrintTo(const Ft12Case& c, std::ostream* os) { *os << c.name; }

class Ft12Frames : public ::testing::TestWithParam<Ft12Case> {};

TEST_P(Ft12Frames, GoOutAsExpected)
{
    const auto& c = GetParam();
    const auto f = ft12Frame(c.body, 0x40, 0x05, c.crcMode);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->bytes(), c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    Wire, Ft12Frames,
    ::testing::Values(
        // Short frame: body padded to four bytes; KS = sum of C, A and the padded body.
        Ft12Case{"ShortSum", {0x01, 0x40, 0x15}, 0,
                 {0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9B, 0x16}},
        Ft12Case{"ShortCrcInData", {0x01, 0x40, 0x15}, 1,
                 {0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x11, 0xDD, 0x89, 0x16}},
        Ft12Case{"ShortCrcAsTrailer", {0x01, 0x40, 0x15}, 2,
                 {0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x11, 0xDD}},
        Ft12Case{"LongSum", {0x05, 0x40, 0x07, 0xBF, 0xEB}, 0,
                 {0x68, 0x07, 0x07, 0x68, 0x40, 0x05, 0x05, 0x40, 0x07, 0xBF, 0xEB, 0x3B, 0x16}},
        Ft12Case{"LongCrcInData", {0x05, 0x40, 0x07, 0xBF, 0xEB}, 1,
                 {0x68, 0x09, 0x09, 0x68, 0x40, 0x05, 0x05, 0x40, 0x07, 0xBF, 0xEB, 0x93, 0xFC,
                  0xCA, 0x16}},
        Ft12Case{"LongCrcAsTrailer", {0x05, 0x40, 0x07, 0xBF, 0xEB}, 2,
                 {0x68, 0x07, 0x07, 0x68, 0x40, 0x05, 0x05, 0x40, 0x07, 0xBF, 0xEB, 0x93, 0xFC}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Frames, Ft12SplitsIntoHeaderUserAndTrailerAndRefusesOverlongBodies)
{
    const auto f = ft12Frame(Bytes{0x05, 0x40, 0x07, 0xBF, 0xEB}, 0x43, 0x09, 1);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->header, (Bytes{0x68, 0x09, 0x09, 0x68}));
    EXPECT_EQ(f->user.size(), 9u);            // C, A, five body bytes, two CRC bytes
    EXPECT_EQ(crc16(f->user), 0);             // the CRC in the data closes over it
    EXPECT_EQ(f->trailer.back(), 0x16);
    EXPECT_TRUE(ft12Frame(Bytes(253, 0), 0x40, 1, 0).has_value());
    EXPECT_FALSE(ft12Frame(Bytes(254, 0), 0x40, 1, 0).has_value());
    EXPECT_TRUE(ft12Frame(Bytes(251, 0), 0x40, 1, 1).has_value());
    EXPECT_FALSE(ft12Frame(Bytes(252, 0), 0x40, 1, 1).has_value());
}

TEST(ExchangeMessages, EveryCodeHasItsTextAndNothingElseHasOne)
{
    EXPECT_EQ(exchangeMessage(0), "  OK");
    EXPECT_EQ(exchangeMessage(1), "Нет ответа от ЗЕНТАР ");
    EXPECT_EQ(exchangeMessage(5), "  Не получены  данные на запрос ");
    EXPECT_EQ(exchangeMessage(12), "12");
    EXPECT_EQ(exchangeMessage(15), "  Несооветствие вызываемой подпрограммы и формата параметра");
    EXPECT_EQ(exchangeMessage(30), "Несовпадение управляющего байта отлично ");
    EXPECT_EQ(exchangeMessage(37), "ОК ( положительная квитанция )");
    EXPECT_EQ(exchangeMessage(43), "  Ошибка данных ");
    EXPECT_EQ(exchangeMessage(50), "Недопустимый номер модуля");
    for (int code = 0; code < kExchangeResultCount; ++code)
        EXPECT_FALSE(exchangeMessage(code).empty()) << code;
    EXPECT_EQ(exchangeMessage(-1), "");
    EXPECT_EQ(exchangeMessage(51), "");
    // Blanks at the end are part of the text; only these four rows have them.
    for (int code = 0; code < kExchangeResultCount; ++code) {
        const bool trailing = exchangeMessage(code).back() == ' ';
        EXPECT_EQ(trailing, code == 1 || code == 5 || code == 30 || code == 43) << code;
    }
}
