#include "SimFixture.h"

namespace kv::sim::test {
namespace {

// One read of the controller's hour and minute (10:21), everything received collected.
Bytes askTrad(Rig& r)
{
    r.send({0x05});
    Bytes got = r.recv();
    if (got != Bytes{0x04})
        return got;
    r.send({0x03, 0x01, 0x40, 0x15, 0xAA});
    return r.recv();
}

Bytes ft12Read(int mode)
{
    if (mode == 0)
        return {0x10, 0x40, 0x05, 0x01, 0x40, 0x15, 0x00, 0x9B, 0x16};
    Bytes user{0x40, 0x05, 0x01, 0x40, 0x15, 0x00};
    const uint16_t crc = crc16(user);
    Bytes f{0x10};
    f.insert(f.end(), user.begin(), user.end());
    if (mode == 1) {
        f.push_back(uint8_t(crc));
        f.push_back(uint8_t(crc >> 8));
        f.push_back(sum8(Bytes(f.begin() + 1, f.end())));
        f.push_back(0x16);
    } else {
        f.push_back(uint8_t(crc));
        f.push_back(uint8_t(crc >> 8));
    }
    return f;
}

void setClock(Rig& r) { r.ctl().setDateTime(dateTimeFromCivil({2026, 3, 5, 10, 21, 0})); }

TEST(Faults, NamesRoundTrip)
{
    for (int i = 0; i < int(Fault::Count); ++i)
        EXPECT_EQ(faultByName(faultName(Fault(i))), Fault(i));
    EXPECT_FALSE(faultByName("nonsense"));
}

TEST(Faults, TraditionalProtocol)
{
    struct Case {
        Fault f;
        Bytes reply;
    };
    const Case cases[] = {
        {Fault::NoAnswer, {}},
        {Fault::WrongControlByte, {0x07}},
        {Fault::NegativeReceipt, {0x15}},
        {Fault::BadChecksum, {0x06, 0x0A, 0x15, 0xE2}},
        {Fault::GarbageBeforeFrame, {0x55, 0x1A, 0x5A, 0x06, 0x0A, 0x15, 0xE1}},
        {Fault::TruncatedReply, {0x06, 0x0A}},
        {Fault::SlowReply, {}},
    };
    for (const Case& c : cases) {
        Rig r(options(Protocol::Traditional));
        r.ctl().setDateTime(dateTimeFromCivil({2026, 3, 5, 10, 21, 0}));
        r.faults().once(c.f);
        EXPECT_EQ(askTrad(r), c.reply) << faultName(c.f);
        EXPECT_EQ(r.faults().hits(c.f), 1) << faultName(c.f);
        r.clock.sleepMs(5000);
        r.line->discardInput();
        EXPECT_EQ(askTrad(r), (Bytes{0x06, 0x0A, 0x15, 0xE1})) << "once only: " << faultName(c.f);
    }
}

TEST(Faults, SlowReplyComesAfterItsDelay)
{
    Rig r(options(Protocol::Ft12, 5));
    setClock(r);
    r.faults().slowReplyMs = 1500;
    r.faults().once(Fault::SlowReply);
    r.send(ft12Read(0));
    EXPECT_TRUE(r.recv(1000).empty());
    EXPECT_EQ(r.recv(1000).size(), 9u);
}

TEST(Faults, SucceedAfterServesTheNthTry)
{
    Rig r(options(Protocol::Traditional));
    r.faults().arm(Fault::SucceedAfter, 3);
    EXPECT_TRUE(askTrad(r).empty());
    EXPECT_TRUE(askTrad(r).empty());
    EXPECT_EQ(askTrad(r).size(), 4u);
}

TEST(Faults, UntilClearedKeepsFailing)
{
    Rig r(options(Protocol::Ft12, 5));
    setClock(r);
    r.faults().always(Fault::NegativeReceipt);
    for (int i = 0; i < 3; ++i) {
        r.send(ft12Read(0));
        EXPECT_EQ(r.recv(), (Bytes{0xE5}));
    }
    r.faults().clear(Fault::NegativeReceipt);
    r.send(ft12Read(0));
    EXPECT_EQ(r.recv().size(), 9u);
}

TEST(Faults, Ft12Protocol)
{
    const Bytes good{0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x24, 0x16};
    struct Case {
        Fault f;
        Bytes reply;
    };
    const Case cases[] = {
        {Fault::NoAnswer, {}},
        {Fault::NegativeReceipt, {0xE5}},
        {Fault::BadChecksum, {0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x25, 0x16}},
        {Fault::GarbageBeforeFrame, {0x55, 0x1A, 0x5A, 0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x24, 0x16}},
        {Fault::TruncatedReply, {0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00}},
        {Fault::WrongAddress, {0x10, 0x00, 0x06, 0x0A, 0x15, 0x00, 0x00, 0x25, 0x16}},
        {Fault::WrongControlByte, {0x10, 0x20, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x44, 0x16}},
        {Fault::WrongLength, {0x68, 0x04, 0x05, 0x68, 0x00, 0x05, 0x0A, 0x15, 0x24, 0x16}},
        {Fault::WrongStartByte, {0x68, 0x04, 0x04, 0x69, 0x00, 0x05, 0x0A, 0x15, 0x24, 0x16}},
        {Fault::WrongEndByte, {0x10, 0x00, 0x05, 0x0A, 0x15, 0x00, 0x00, 0x24, 0x17}},
    };
    for (const Case& c : cases) {
        Rig r(options(Protocol::Ft12, 5));
    setClock(r);
        r.faults().once(c.f);
        r.send(ft12Read(0));
        EXPECT_EQ(r.recv(), c.reply) << faultName(c.f);
        r.send(ft12Read(0));
        EXPECT_EQ(r.recv(), good) << "once only: " << faultName(c.f);
    }
    // With a CRC the CRC is what goes wrong; the sum over the bytes sent stays right.
    for (int mode : {1, 2}) {
        Rig r(options(Protocol::Ft12, 5, 0, mode));
        setClock(r);
        r.faults().once(Fault::BadChecksum);
        r.send(ft12Read(mode));
        const Bytes bad = r.recv();
        const std::size_t userEnd = mode == 1 ? bad.size() - 2 : bad.size();
        EXPECT_NE(crc16(std::span<const uint8_t>(bad).subspan(1, userEnd - 1)), 0) << mode;
        if (mode == 1) {
            EXPECT_EQ(bad[bad.size() - 2], sum8(std::span<const uint8_t>(bad).subspan(1, userEnd - 1)));
        }
        r.faults().once(Fault::WrongEndByte);
        r.send(ft12Read(mode));
        const Bytes end = r.recv();
        EXPECT_EQ(end.back() == 0x17, mode == 1) << "mode 2 has no end byte";
    }
}

TEST(Faults, Ft11Protocol)
{
    struct Case {
        Fault f;
        Bytes reply;
    };
    const Case cases[] = {
        {Fault::NoAnswer, {}},
        {Fault::WrongAddress, {0x04, 0x00, 0x06, 0x0A, 0x15}},
        {Fault::WrongControlByte, {0x04, 0x01, 0x05, 0x0A, 0x15}},
        {Fault::TruncatedReply, {0x04, 0x00, 0x05}},
        {Fault::GarbageBeforeFrame, {0x55, 0x1A, 0x5A, 0x04, 0x00, 0x05, 0x0A, 0x15}},
        // No refusal and no checksum in FT1.1: these never show.
        {Fault::NegativeReceipt, {0x04, 0x00, 0x05, 0x0A, 0x15}},
        {Fault::BadChecksum, {0x04, 0x00, 0x05, 0x0A, 0x15}},
    };
    for (const Case& c : cases) {
        Rig r(options(Protocol::Ft11, 5));
    setClock(r);
        r.faults().once(c.f);
        r.send({0x05, 0x40, 0x05, 0x01, 0x40, 0x15});
        EXPECT_EQ(r.recv(), c.reply) << faultName(c.f);
    }
}

TEST(Faults, CanAdapter)
{
    struct Case {
        Fault f;
        std::size_t size;
        int tagByte;
        int countByte;
    };
    const Case cases[] = {
        {Fault::NoAnswer, 0, -1, -1},
        {Fault::WrongControlByte, 13, 0x48, 0x23},
        {Fault::WrongLength, 13, 0x28, 0x24},
        {Fault::TruncatedReply, 11, 0x28, 0x23},
        {Fault::GarbageBeforeFrame, 16, -1, -1},
        {Fault::SlowReply, 0, -1, -1},
    };
    for (const Case& c : cases) {
        StationOptions o;
        o.controller.model = 3;
        o.controller.networkNumber = 2;
        o.channelType = 11;
        Rig r(o, {9600, 8, kv::Parity::None, 1, true});
        Bytes block(35, 0);
        block.push_back(0);
        r.send(block);
        ASSERT_EQ(r.recv(), (Bytes{0x30, 0x0A, 0x0D}));
        r.faults().once(c.f);
        r.send({0x02, 0x20, 0, 0, 4, 0x21, 2, 0x00, 0x40, 0, 0, 0, 0});
        const Bytes got = r.recv();
        EXPECT_EQ(got.size(), c.size) << faultName(c.f);
        if (c.tagByte >= 0 && got.size() > 4) {
            EXPECT_EQ(got[1], c.tagByte) << faultName(c.f);
            EXPECT_EQ(got[4], c.countByte) << faultName(c.f);
        }
    }
}

TEST(Faults, WrongAddressInTheNinthBitSelection)
{
    StationOptions o = options(Protocol::Traditional, 9);
    Rig r(o);
    r.faults().once(Fault::WrongAddress);
    r.line->setParams({9600, 8, kv::Parity::Mark, 1, false});
    r.send({0x09, 0xFF});
    EXPECT_EQ(r.recv(), (Bytes{0x0A}));
    r.send({0x09, 0xFF});
    EXPECT_EQ(r.recv(), (Bytes{0x09}));
}

} // namespace
} // namespace kv::sim::test
