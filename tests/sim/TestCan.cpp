#include "SimFixture.h"

namespace kv::sim::test {
namespace {

Bytes initBlock(uint8_t fix = 0)
{
    Bytes b(35, 0);
    const uint8_t masks[8] = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0};
    std::copy(masks, masks + 8, b.begin() + 24);
    b[32] = 0x02;
    b[33] = 0xE0;
    b[34] = 0x45;
    b.push_back(uint8_t(-sum8(b) + fix));
    return b;
}

Bytes frame(uint8_t net, uint8_t tag, uint8_t kind, uint8_t fn, uint8_t b7 = 0, uint8_t b8 = 0)
{
    return {net, tag, 0, 0, kind, 0x21, fn, b7, b8, 0, 0, 0, 0};
}

struct CanRig : Rig {
    CanRig() : Rig(opts(), {9600, 8, kv::Parity::None, 1, true}) {}
    static StationOptions opts()
    {
        StationOptions o;
        o.controller.model = 3;
        o.controller.networkNumber = 4;
        o.channelType = 11;
        return o;
    }
    void init()
    {
        line->setDtr(true);
        clock.sleepMs(100);
        line->setDtr(false);
        clock.sleepMs(100);
        send(initBlock());
        ASSERT_EQ(recv(), (Bytes{0x30, 0x0A, 0x0D}));
    }
};

TEST(CanAdapter, InitialisationBlockIsAnsweredAndRaisesTheCarrier)
{
    CanRig r;
    EXPECT_FALSE(r.line->modemStatus().rlsd);
    r.send(initBlock(1));
    EXPECT_EQ(r.recv(), (Bytes{0x3F, 0x0A, 0x0D})) << "block sum not 0";
    EXPECT_FALSE(r.line->modemStatus().rlsd);
    r.init();
    EXPECT_TRUE(r.line->modemStatus().rlsd);
    dynamic_cast<CanAdapter&>(r.station.device()).loseCarrier();
    EXPECT_FALSE(r.line->modemStatus().rlsd);
    r.init();
    EXPECT_TRUE(r.line->modemStatus().rlsd);
}

TEST(CanAdapter, ReadsComeInFramesOfFourDataBytesWithTagAndCount)
{
    CanRig r;
    r.init();
    r.ctl().setState(RunState::Stop);
    // Status: two bytes, the status byte first on CAN.
    r.send(frame(4, 0x20, 4, 2, 0x00, 0x40));
    EXPECT_EQ(r.recv(), (Bytes{0x21, 0x28, 0, 0, 0x23, 0x04, 0x08, 0x00, 0, 0, 0, 0, 0}));
    // Identity at F0 00, low byte first.
    r.send(frame(4, 0x40, 4, 2, 0x00, 0xF0));
    EXPECT_EQ(r.recv(), (Bytes{0x21, 0x48, 0, 0, 0x23, 0x04, 0x13, 0x17, 0, 0, 0, 0, 0}));
    // Eight bytes of an output buffer: a first frame and a following one.
    r.ctl().setBit(Controller::Buffer::Output, 0, 0, true);
    r.ctl().setBit(Controller::Buffer::Output, 0, 63, true);
    r.send(frame(4, 0x60, 4, 2, 0x49, 0x40));
    EXPECT_EQ(r.recv(), (Bytes{0x21, 0x68, 0, 0, 0x25, 0x04, 0x01, 0, 0, 0, 0, 0, 0}));
    r.send(frame(4, 0x80, 2, 1));
    EXPECT_EQ(r.recv(), (Bytes{0x21, 0x88, 0, 0, 0x25, 0x04, 0, 0, 0, 0x80, 0, 0, 0}));
    r.send(frame(4, 0xA0, 2, 1));
    EXPECT_EQ(r.recv()[4], 0x21) << "nothing left to read";
    // Another node's frame is not answered; a control command echoes its value.
    r.send(frame(5, 0xC0, 4, 2, 0x00, 0x40));
    EXPECT_TRUE(r.recv().empty());
    r.send(frame(4, 0x20, 3, 5, 0x03));
    EXPECT_EQ(r.recv(), (Bytes{0x21, 0x28, 0, 0, 0x22, 0x04, 0x03, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.ctl().lastCanControl(), 3);
}

TEST(CanAdapter, ValuesTravelAsIeeeFloatsAndTheClockInBcd)
{
    CanRig r;
    r.init();
    r.ctl().setDateTime(dateTimeFromCivil({2026, 3, 5, 10, 21, 30}));
    r.send(frame(4, 0x20, 4, 2, 0x17, 0xF0));
    const Bytes date = r.recv();
    ASSERT_EQ(date.size(), 13u);
    EXPECT_EQ((Bytes{date[7], date[8], date[9]}), (Bytes{0x05, 0x03, 0x26}));
    r.send(frame(4, 0x40, 4, 2, 0x18, 0xF0));
    const Bytes time = r.recv();
    ASSERT_EQ(time.size(), 13u);
    EXPECT_EQ((Bytes{time[9], time[8], time[7]}), (Bytes{0x10, 0x21, 0x30}));
    // A temperature of the built-in table: a float between 70 and 90 degrees.
    r.send(frame(4, 0x60, 4, 2, 0x10, 0x00));
    const Bytes t = r.recv();
    ASSERT_EQ(t.size(), 13u);
    const double v = decodeIeeeLE(std::span<const uint8_t>(t).subspan(6, 4));
    EXPECT_GT(v, 70.0);
    EXPECT_LT(v, 90.0);
}

TEST(Gateway, ServesGatewayBodiesAndRawFramesOnTheSameLine)
{
    for (Protocol p : {Protocol::Traditional, Protocol::Ft12}) {
        StationOptions o = options(p, 4, 12);
        o.controller.model = 3;
        Rig r(o);
        r.ctl().setState(RunState::Stop);
        if (p == Protocol::Traditional) {
            // With a network number the gateway is addressed first, like any controller.
            r.line->setParams({9600, 8, kv::Parity::Mark, 1, false});
            r.send({0x04, 0xFF});
            EXPECT_EQ(r.recv(), (Bytes{0x04}));
            r.line->setParams({9600, 8, kv::Parity::Space, 1, false});
        }
        // A 13-byte frame goes straight to the bus.
        r.send(frame(4, 0x20, 4, 2, 0x00, 0x40));
        EXPECT_EQ(r.recv(), (Bytes{0x21, 0x28, 0, 0, 0x23, 0x04, 0x08, 0x00, 0, 0, 0, 0, 0}));
        const Bytes read = p == Protocol::Traditional ? Bytes{0x11, 0x00, 0x40, 0x04}
                                                      : Bytes{0x11, 0x00, 0x00, 0x40};
        if (p == Protocol::Traditional) {
            r.send({0x05});
            EXPECT_EQ(r.recv(), (Bytes{0x04}));
            r.send(tradFrame(read));
            EXPECT_EQ(r.recv(), (Bytes{0x06, 0x08, 0x00, 0x00, 0x00, 0xF8}));
            r.send({0x05});
            r.recv();
            r.send(tradFrame({0x14, 0x03, 0x00, 0x05, 0x01}));
            EXPECT_EQ(r.recv(), (Bytes{0x06}));
        } else {
            // 10 40 04 11 00 00 40 KS 16 -> the four bytes in a short frame.
            r.send({0x10, 0x40, 0x04, 0x11, 0x00, 0x00, 0x40, 0x95, 0x16});
            EXPECT_EQ(r.recv(), (Bytes{0x10, 0x00, 0x04, 0x08, 0x00, 0x00, 0x00, 0x0C, 0x16}));
            r.send({0x68, 0x07, 0x07, 0x68, 0x40, 0x04, 0x14, 0x03, 0x00, 0x05, 0x01, 0x61, 0x16});
            EXPECT_EQ(r.recv(), (Bytes{0xA2}));
        }
        EXPECT_EQ(r.ctl().lastCanControl(), 1);
    }
}

} // namespace
} // namespace kv::sim::test
