#include "sim/Responders.h"
#include "sim/Values.h"

// FT1.2: short frames 0x10 C A and four body bytes, long frames 0x68 L L 0x68 C A and the
// body; then the trailer of the CRC mode: 0 the 8-bit sum and 0x16; 1 a CRC16 inside the user
// data, then the sum and 0x16; 2 the CRC16 in place of sum and end byte. The controller
// answers 0xA2 (done), 0xE5 (refused) or a short or long frame of its own, whose control byte
// is 0 or, when the controller counts frames, the counter of the request.

namespace kv::sim {

namespace {

constexpr int64_t kGapUs = 200 * 1000;

class Ft12 final : public FrameParser {
public:
    void onByte(uint8_t b, int64_t at, ReplyContext& cx) override
    {
        const int mode = cx.opt.crcMode;
        if (buf_.empty()) {
            if (b != 0x10 && b != 0x68)
                return;
            buf_.push_back(b);
            deadline_ = at + kGapUs;
            if (b == 0x10)
                need_ = 1 + (mode == 1 ? 8 : 6) + 2;
            else
                need_ = 4;   // the header first; its length tells the rest
            return;
        }
        buf_.push_back(b);
        deadline_ = at + kGapUs;
        if (buf_[0] == 0x68 && buf_.size() == 4) {
            const int l = buf_[1];
            if (buf_[2] != buf_[1] || buf_[3] != 0x68 || l < (mode == 1 ? 4 : 2)) {
                reset();
                return;
            }
            need_ = 4 + std::size_t(l) + 2;
            return;
        }
        if (buf_.size() == need_) {
            serve(at, cx);
            reset();
        }
    }

    bool idle() const override { return buf_.empty(); }
    void reset() override
    {
        buf_.clear();
        need_ = 0;
        deadline_ = kNever;
    }
    int64_t deadlineUs() const override { return deadline_; }

private:
    void serve(int64_t at, ReplyContext& cx)
    {
        const int mode = cx.opt.crcMode;
        const std::size_t head = buf_[0] == 0x10 ? 1 : 4;
        const std::span<const uint8_t> user(buf_.data() + head, buf_.size() - head - 2);
        const uint8_t t0 = buf_[buf_.size() - 2], t1 = buf_.back();
        const uint8_t me = cx.ctl.networkNumber();
        if (user[1] != me)
            return;   // another controller's frame
        bool good;
        if (mode == 2)
            good = crc16(std::span<const uint8_t>(buf_.data() + head, buf_.size() - head)) == 0;
        else
            good = (mode == 0 || crc16(user) == 0) && t0 == sum8(user) && t1 == 0x16;
        const uint8_t c = user[0];
        if (!good || (c & 0xF0) != 0x40 || (c & 0x0F) > 8) {
            cx.send({0xE5}, at);
            return;
        }
        if (!cx.answers())
            return;
        if (cx.take(Fault::NegativeReceipt)) {
            cx.send({0xE5}, at);
            return;
        }
        const std::span<const uint8_t> body = user.subspan(2, user.size() - 2 - (mode == 1 ? 2 : 0));
        const Reply r = cx.execute(body, at);
        if (r.kind == Reply::Kind::Refused) {
            cx.send({0xE5}, at);
        } else if (r.kind == Reply::Kind::Ack) {
            cx.send({0xA2}, at);
        } else if (auto frame = replyFrame(uint8_t(cx.opt.echoCounter ? (c & 0x0F) : 0), r.data, cx)) {
            cx.send(std::move(*frame), at);
        } else {
            cx.send({0xE5}, at);   // more data than one frame carries
            return;
        }
        cx.after(r);
    }

    static std::optional<std::vector<uint8_t>> replyFrame(uint8_t c, const std::vector<uint8_t>& data,
                                                          ReplyContext& cx)
    {
        const int mode = cx.opt.crcMode;
        const bool forceLong = cx.armed(Fault::WrongLength) || cx.armed(Fault::WrongStartByte);
        const bool isShort = data.size() <= 4 && !forceLong;
        uint8_t a = cx.ctl.networkNumber();
        if (cx.take(Fault::WrongControlByte))
            c = uint8_t(c + 0x20);
        if (cx.take(Fault::WrongAddress))
            a = uint8_t(a + 1);
        std::vector<uint8_t> user{c, a};
        user.insert(user.end(), data.begin(), data.end());
        if (isShort)
            user.resize(6, 0);
        const bool badSum = cx.take(Fault::BadChecksum);
        if (mode == 1) {
            uint16_t crc = crc16(user);
            if (badSum)
                crc ^= 0x0101;
            user.push_back(uint8_t(crc));
            user.push_back(uint8_t(crc >> 8));
        }
        if (user.size() > 255)
            return std::nullopt;
        std::vector<uint8_t> out;
        if (isShort) {
            out.push_back(0x10);
        } else {
            const auto l = uint8_t(user.size());
            out = {0x68, l, l, 0x68};
            if (cx.take(Fault::WrongLength))
                out[2] = uint8_t(l + 1);
            if (cx.take(Fault::WrongStartByte))
                out[3] = 0x69;
        }
        out.insert(out.end(), user.begin(), user.end());
        if (mode == 2) {
            uint16_t crc = crc16(user);
            if (badSum)
                crc ^= 0x0101;
            out.push_back(uint8_t(crc));
            out.push_back(uint8_t(crc >> 8));
        } else {
            out.push_back(uint8_t(sum8(user) + (badSum && mode == 0 ? 1 : 0)));
            out.push_back(cx.take(Fault::WrongEndByte) ? 0x17 : 0x16);
        }
        if (cx.take(Fault::TruncatedReply))
            out.resize(out.size() - 2);
        return out;
    }

    std::vector<uint8_t> buf_;
    std::size_t need_ = 0;
    int64_t deadline_ = kNever;
};

} // namespace

std::unique_ptr<FrameParser> makeFt12Parser() { return std::make_unique<Ft12>(); }

} // namespace kv::sim
