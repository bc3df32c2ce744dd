#include "sim/Responders.h"

// FT1.1: the frame is L, C (0x40), A (the network number) and the body, L counting C, A and
// the body; there is neither checksum nor end byte. The reply is L', 0, A and the data, or a
// lone 0 as the receipt. The protocol has no refusal: what the controller will not do, it
// leaves unanswered.

namespace kv::sim {

namespace {

constexpr int64_t kGapUs = 200 * 1000;

class Ft11 final : public FrameParser {
public:
    void onByte(uint8_t b, int64_t at, ReplyContext& cx) override
    {
        if (need_ == 0) {
            if (b < 3)
                return;
            need_ = b;
            frame_.clear();
            deadline_ = at + kGapUs;
            return;
        }
        frame_.push_back(b);
        deadline_ = at + kGapUs;
        if (frame_.size() == need_) {
            serve(at, cx);
            reset();
        }
    }

    bool idle() const override { return need_ == 0; }
    void reset() override
    {
        need_ = 0;
        frame_.clear();
        deadline_ = kNever;
    }
    int64_t deadlineUs() const override { return deadline_; }

private:
    void serve(int64_t at, ReplyContext& cx)
    {
        const uint8_t me = cx.ctl.networkNumber();
        if (frame_[0] != 0x40 || frame_[1] != me)
            return;
        if (!cx.answers())
            return;
        const Reply r = cx.execute(std::span<const uint8_t>(frame_).subspan(2), at);
        if (r.kind == Reply::Kind::Refused)
            return;
        if (r.kind == Reply::Kind::Ack) {
            cx.send({0x00}, at);
        } else {
            if (r.data.size() + 2 > 255)
                return;
            uint8_t c = 0x00, a = me;
            if (cx.take(Fault::WrongControlByte))
                c = 0x01;
            if (cx.take(Fault::WrongAddress))
                a = uint8_t(me + 1);
            std::vector<uint8_t> out{uint8_t(r.data.size() + 2), c, a};
            out.insert(out.end(), r.data.begin(), r.data.end());
            if (cx.take(Fault::TruncatedReply))
                out.resize(out.size() - 2);
            cx.send(std::move(out), at);
        }
        cx.after(r);
    }

    std::size_t need_ = 0;
    std::vector<uint8_t> frame_;
    int64_t deadline_ = kNever;
};

} // namespace

std::unique_ptr<FrameParser> makeFt11Parser() { return std::make_unique<Ft11>(); }

} // namespace kv::sim
