#include "SimFixture.h"

namespace kv::sim::test {
namespace {

// The controller's clock shows 10:21 on 5 March 2026 in these tests.
void setClock(Controller& c) { c.setDateTime(dateTimeFromCivil({2026, 3, 5, 10, 21, 30})); }

TEST(Traditional, HandshakeThenReadGivesReceiptDataAndChecksum)
{
    Rig r(options(Protocol::Traditional));
    setClock(r.ctl());
    r.send({0x05});
    EXPECT_EQ(r.recv(), (Bytes{0x04}));
    r.send({0x03, 0x01, 0x40, 0x15, 0xAA});
    // 06, hour 10, minute 21, checksum making 0A + 15 + checksum = 0.
    EXPECT_EQ(r.recv(), (Bytes{0x06, 0x0A, 0x15, 0xE1}));
}

TEST(Traditional, FrameWithWrongChecksumIsRefused)
{
    Rig r(options(Protocol::Traditional));
    r.send({0x05});
    r.recv();
    r.send({0x03, 0x01, 0x40, 0x15, 0xAB});
    EXPECT_EQ(r.recv(), (Bytes{0x15}));
}

TEST(Traditional, FrameWithoutHandshakeIsIgnoredAndLateFrameIsDropped)
{
    Rig r(options(Protocol::Traditional));
    r.send({0x03, 0x01, 0x40, 0x15, 0xAA});
    EXPECT_TRUE(r.recv().empty());
    r.send({0x05});
    r.recv();
    r.clock.sleepMs(2000);   // the controller gave up waiting for the frame
    r.send({0x03, 0x01, 0x40, 0x15, 0xAA});
    EXPECT_TRUE(r.recv().empty());
}

TEST(Traditional, WriteNeedsTheWriteEnableOfItsAddress)
{
    Rig r(options(Protocol::Traditional));
    auto exchange = [&](const Bytes& body) {
        r.send({0x05});
        r.recv(50);
        r.send(tradFrame(body));
        return r.recv();
    };
    const Bytes write{0x05, 0x40, 0x15, 0x08, 0x30};
    EXPECT_EQ(exchange(write), (Bytes{0x15})) << "no write enable";
    EXPECT_EQ(exchange({0x05, 0x40, 0x07, uint8_t(~0x41), uint8_t(~0x15)}), (Bytes{0x06}));
    EXPECT_EQ(exchange(write), (Bytes{0x15})) << "enable names another address";
    EXPECT_EQ(exchange({0x05, 0x40, 0x07, uint8_t(~0x40), uint8_t(~0x15)}), (Bytes{0x06}));
    EXPECT_EQ(exchange(write), (Bytes{0x06}));
    const CivilTime t = civilFromDateTime(r.ctl().dateTime());
    EXPECT_EQ(t.hour, 8);
    EXPECT_EQ(t.minute, 48);
    EXPECT_EQ(exchange(write), (Bytes{0x15})) << "an enable serves one write";
}

TEST(Traditional, ModemLineFillerAfterTheFrameIsHarmless)
{
    Rig r(options(Protocol::Traditional, 0, 4));
    setClock(r.ctl());
    r.send({0x05});
    r.line->discardInput();
    r.send({0x03, 0x01, 0x40, 0x15, 0xAA, 0xFF});
    // The 0x04 was still on its way when the input was discarded.
    EXPECT_EQ(r.recv(), (Bytes{0x04, 0x06, 0x0A, 0x15, 0xE1}));
    r.send({0x05});
    EXPECT_EQ(r.recv(), (Bytes{0x04}));
}

struct Addressing : ::testing::TestWithParam<int> {};

// Network number 7: the controller listens only after its number came as an address byte.
TEST_P(Addressing, NinthBitSelectsTheController)
{
    const int channel = GetParam();
    StationOptions o = options(Protocol::Traditional, 7);
    o.responder.addressChannel = channel;
    Rig r(o);
    const Parity addressParity = channel == 0 ? Parity::Mark : Parity::Even;
    const Parity dataParity = channel == 0 ? Parity::Space : Parity::Odd;
    auto setParity = [&](Parity p) { r.line->setParams({9600, 8, p, 1, false}); };

    setParity(dataParity);
    r.send({0x05});
    EXPECT_TRUE(r.recv().empty()) << "not addressed yet";

    setParity(addressParity);
    r.send({0x03, 0xFF});
    EXPECT_TRUE(r.recv().empty()) << "another controller's number";
    r.send({0x07, 0xFF});
    EXPECT_EQ(r.recv(), (Bytes{0x07}));

    setParity(dataParity);
    r.send({0x05});
    EXPECT_EQ(r.recv(), (Bytes{0x04}));
    r.send(tradFrame({0x0B}));   // release
    EXPECT_EQ(r.recv(), (Bytes{0x06}));
    r.send({0x05});
    EXPECT_TRUE(r.recv().empty()) << "released";

    if (channel == 0) {
        setParity(Parity::None);   // without parity the stop bit looks like an address bit
        r.send({0x05});
        EXPECT_TRUE(r.recv().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, Addressing, ::testing::Values(0, 1));

TEST(Ft12, ShortFrameReadAnswersWithShortFrame)
{
    for (bool echo : {false, true}) {
        StationOptions o = options(Protocol::Ft12, 5);
        o.responder.echoCounter = echo;
        Rig r(o);
        setClock(r.ctl());
        r.send({0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9B, 0x16});
        EXPECT_EQ(r.recv(), (Bytes{0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x24, 0x16}));
        // Frame counter 3: C = 0x43; the counting controller echoes 3.
        r.send({0x10, 0x43, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9E, 0x16});
        const uint8_t c = echo ? 3 : 0;
        EXPECT_EQ(r.recv(), (Bytes{0x10, c, 0x05, 0x0A, 0x15, 0x00, 0x00, uint8_t(0x24 + c), 0x16}));
    }
}

Bytes ft12Frame(const Bytes& body, uint8_t net, int mode, uint8_t c = 0x40)
{
    Bytes user{c, net};
    user.insert(user.end(), body.begin(), body.end());
    const bool isShort = body.size() <= 4;
    if (isShort)
        user.resize(6, 0);
    if (mode == 1) {
        const uint16_t crc = crc16(user);
        user.push_back(uint8_t(crc));
        user.push_back(uint8_t(crc >> 8));
    }
    Bytes f = isShort ? Bytes{0x10} : Bytes{0x68, uint8_t(user.size()), uint8_t(user.size()), 0x68};
    f.insert(f.end(), user.begin(), user.end());
    if (mode == 2) {
        const uint16_t crc = crc16(user);
        f.push_back(uint8_t(crc));
        f.push_back(uint8_t(crc >> 8));
    } else {
        f.push_back(sum8(user));
        f.push_back(0x16);
    }
    return f;
}

TEST(Ft12, CrcCheckValueIsThatOfTheReflectedPolynomial)
{
    const Bytes check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16(check), 0x6F91);
    Bytes withCrc = check;
    withCrc.push_back(0x91);
    withCrc.push_back(0x6F);
    EXPECT_EQ(crc16(withCrc), 0);
}

TEST(Ft12, EveryCrcModeCarriesShortAndLongReplies)
{
    for (int mode = 0; mode <= 2; ++mode) {
        Rig r(options(Protocol::Ft12, 5, 0, mode));
        setClock(r.ctl());
        r.send(ft12Frame({0x01, 0x40, 0x15}, 5, mode));
        const Bytes shortReply = r.recv();
        EXPECT_EQ(shortReply, ft12Frame({0x0A, 0x15}, 5, mode, 0x00)) << "mode " << mode;

        r.send(ft12Frame({0x01, 0x40, 0x32}, 5, mode));   // 128-byte failure record
        const Bytes longReply = r.recv();
        Bytes record(r.ctl().currentFailureRecord().begin(), r.ctl().currentFailureRecord().end());
        EXPECT_EQ(longReply, ft12Frame(record, 5, mode, 0x00)) << "mode " << mode;

        r.send(ft12Frame({0x08}, 5, mode));
        EXPECT_EQ(r.recv(), (Bytes{0xA2}));
        Bytes bad = ft12Frame({0x01, 0x40, 0x15}, 5, mode);
        bad[4] ^= 1;
        r.send(bad);
        EXPECT_EQ(r.recv(), (Bytes{0xE5}));
        r.send(ft12Frame({0x01, 0x40, 0x15}, 6, mode));
        EXPECT_TRUE(r.recv().empty()) << "another controller's frame";
        r.send(ft12Frame({0x01, 0x77, 0x77}, 5, mode));
        EXPECT_EQ(r.recv(), (Bytes{0xE5})) << "no such parameter";
    }
}

TEST(Ft11, FrameAndReplies)
{
    Rig r(options(Protocol::Ft11, 5));
    setClock(r.ctl());
    r.send({0x05, 0x40, 0x05, 0x01, 0x40, 0x15});
    EXPECT_EQ(r.recv(), (Bytes{0x04, 0x00, 0x05, 0x0A, 0x15}));
    r.send({0x03, 0x40, 0x05, 0x08});
    EXPECT_EQ(r.recv(), (Bytes{0x00}));
    r.send({0x05, 0x40, 0x06, 0x01, 0x40, 0x15});
    EXPECT_TRUE(r.recv().empty()) << "another controller's frame";
    r.send({0x05, 0x40, 0x05, 0x01, 0x77, 0x77});
    EXPECT_TRUE(r.recv().empty()) << "FT1.1 has no refusal";
}

TEST(Serial, SpeedChangeTakesEffectAfterTheReceipt)
{
    Rig r(options(Protocol::Ft12, 1));
    r.send(ft12Frame({0x05, 0x40, 0x07, uint8_t(~0x40), uint8_t(~0x06)}, 1, 0));
    EXPECT_EQ(r.recv(), (Bytes{0xA2}));
    r.send(ft12Frame({0x05, 0x40, 0x06, 0x19, 0x20}, 1, 0));
    EXPECT_EQ(r.recv(), (Bytes{0xA2})) << "receipt still at 9600";
    EXPECT_EQ(r.ctl().baud(), 19200);
    r.send(ft12Frame({0x01, 0x40, 0x06}, 1, 0));
    EXPECT_TRUE(r.recv().empty()) << "9600 no longer understood";
    r.line->setParams({19200, 8, Parity::None, 2, false});
    r.send(ft12Frame({0x01, 0x40, 0x06}, 1, 0));
    EXPECT_EQ(r.recv(), ft12Frame({0x19, 0x20}, 1, 0, 0x00));
}

} // namespace
} // namespace kv::sim::test
