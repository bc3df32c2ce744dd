// What the modem dialogue makes of texts: answer codes, reply classes, the connected rule,
// connect waits, init strings and dial commands.
#include <gtest/gtest.h>

#include <string>

#include "channels/ModemDialogue.h"

using namespace kv;

TEST(ModemCodes, AnswerLinesAreComparedWholeInTheChosenForm)
{
    struct Case {
        const char* line;
        bool words;
        int code;
    };
    const Case cases[] = {
        {"OK", true, 0},           {"ok", true, 0},          {"CONNECT", true, 1},
        {"CONNECT 9600", true, -1}, {"RING", true, 2},        {"RINGING", true, 9},
        {"NO CARRIER", true, 3},   {"CARRIER", true, 1},     {"ERROR", true, 4},
        {"NO DIAL TONE", true, 6}, {"BUSY", true, 7},        {"NO ANSWER", true, 8},
        {"OK ", true, -1},         {"0", true, -1},          {"0", false, 0},
        {"1", false, 1},           {"2", false, 2},          {"7", false, 7},
        {"9", false, 9},           {"5", false, -1},         {"12", false, -1},
        {"OK", false, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(modemAnswerCode(c.line, c.words), c.code) << c.line << (c.words ? " words" : " digits");
}

TEST(ModemCodes, ReplyTextsAreClassifiedInSearchOrder)
{
    struct Case {
        const char* text;
        int cls;
    };
    const Case cases[] = {
        {"CONNECT 9600 ", 1},     {"RING NO CARRIER ", 3},  {"NO CARRIER ", 3},
        {"AT V1 ERROR ", 4},      {"NO DIAL TONE ", 6},     {"RING BUSY ", 7},
        {"NO ANSWER ", 8},        {"RINGING ", 9},          {"RING ", 2},
        {"CARRIER ", 1},          {"OK ", 0},               {"+CSQ: 17,99 ok ", 0},
        {"", 3},                  {"GARBAGE ", 3},          {"connect ", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classifyModemReply(c.text), c.cls) << '"' << c.text << '"';
}

TEST(ModemCodes, OnlyConnectAnswersCountAsConnected)
{
    for (int r = -30; r <= 20; ++r) {
        const bool expected = r == 1 || r == 2 || r == 5 || r >= 10;
        EXPECT_EQ(countsAsConnected(r), expected) << r;
    }
}

TEST(ModemCodes, ConnectWaitFollowsS7)
{
    struct Case {
        const char* init;
        int window;
        int dial;
    };
    const Case cases[] = {
        {"AT V0 E0 S7=60", 80, 80},
        {"AT V0 E0", 120, 120},
        {"AT S7=250", 270, 270},
        {"AT S7=400", 420, 300},
        {"AT S7=X45 L0", 65, 65},     // the window skips to the first digit; the dial reads none
        {"AT S7=", 120, 120},
        {"at s7=30", 50, 50},
        {"AT S7=99999999999999", 1000019, 300},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(windowConnectWait(c.init), c.window) << c.init;
        EXPECT_EQ(dialConnectWait(c.init, windowConnectWait(c.init)), c.dial) << c.init;
    }
    EXPECT_EQ(dialConnectWait("AT V0", 20), 35);
    EXPECT_EQ(dialConnectWait("AT V0", 30), 30);
    EXPECT_EQ(dialConnectWait("AT S7=50", 20), 60);
}

TEST(ModemCodes, HayesInitStringCarriesTheAnswerFormAndEchoOff)
{
    struct Case {
        const char* field;
        bool hayes;
        bool words;
        const char* sent;
    };
    const Case cases[] = {
        {"AT V0 E0 S7=60", true, false, "AT V0 V0 E0 S7=60"},
        {"at v1 e0", true, true, "AT V1 V1 E0"},
        {"  AT  X4 S7=45 ", true, false, "AT V0 X4 S7=45 E0"},
        {"ATE1 L0", true, true, "AT V1 E1 L0"},
        {"AT&F S0=0", true, false, "AT V0 &F S0=0 E0"},
        {"AT+CREG=1", true, false, "AT V0 +CREG=1 E0"},
        {"AT", true, false, "AT V0 E0"},
        {"", true, true, "AT V1 E0"},
        {"AT+CBST=7,0,1", false, true, "AT +CBST=7,0,1"},
        {"AT V0 E0 S7=60", false, false, "AT V0 E0 S7=60"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(modemInitString(c.field, c.hayes, c.words), c.sent) << c.field;
}

TEST(ModemCodes, DialCommandsForHayesAndGsm)
{
    const auto str = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
    EXPECT_EQ(str(modemDialCommand(true, false, "123")), "AT DP 123\r");
    EXPECT_EQ(modemDialCommand(true, false, "123").size(), 10u);
    EXPECT_EQ(str(modemDialCommand(true, true, "8,495-1234")), "AT DT 8,495-1234\r");
    EXPECT_EQ(str(modemDialCommand(false, true, "123")), "ATD123\r\n");
    EXPECT_EQ(modemDialCommand(false, false, "123").size(), 8u);
    // A line end stored inside the number must not cut the command short.
    EXPECT_EQ(str(modemDialCommand(true, true, "12\rATH3")), "AT DT 12ATH3\r");
}

TEST(ModemCodes, TraceForms)
{
    EXPECT_EQ(modemHex(std::string("AT\r", 3)), "41 54 0D");
    EXPECT_EQ(modemReadable(std::string("\r\nOK\r\n")), "<0D><0A>OK<0D><0A>");
    EXPECT_EQ(modemReadable(std::string("\xC0", 1)), "А");
}
