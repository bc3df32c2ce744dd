#include "sim/Responders.h"
#include "sim/Values.h"

// The traditional protocol: the computer asks with 0x05 and the controller answers 0x04; then
// comes the frame N, body, checksum (the body and its checksum sum to 0); the controller
// answers 0x06 (taken) or 0x15 (refused), and a read adds the data and their checksum.

namespace kv::sim {

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kFrameWaitUs = 1500 * kMs;  // after 0x04, how long the frame may take to come
constexpr int64_t kGapUs = 200 * kMs;         // silence that ends a half-received frame

class Traditional final : public FrameParser {
public:
    void onByte(uint8_t b, int64_t at, ReplyContext& cx) override
    {
        switch (st_) {
        case St::Idle:
            if (b != 0x05)
                return;   // stray bytes, the 0xFF after a frame on modem lines, ...
            if (!cx.answers())
                return;
            if (cx.take(Fault::WrongControlByte)) {
                cx.send({0x07}, at, false);
                return;
            }
            cx.send({0x04}, at, false);
            st_ = St::AwaitLength;
            deadline_ = at + kFrameWaitUs;
            return;
        case St::AwaitLength:
            if (b == 0) {
                reset();
                return;
            }
            need_ = std::size_t(b) + 1;
            frame_.clear();
            st_ = St::Body;
            deadline_ = at + kGapUs;
            return;
        case St::Body:
            frame_.push_back(b);
            deadline_ = at + kGapUs;
            if (frame_.size() == need_) {
                serve(at, cx);
                reset();
            }
            return;
        }
    }

    bool idle() const override { return st_ == St::Idle; }
    void reset() override
    {
        st_ = St::Idle;
        frame_.clear();
        deadline_ = kNever;
    }
    int64_t deadlineUs() const override { return deadline_; }

private:
    void serve(int64_t at, ReplyContext& cx)
    {
        const std::span<const uint8_t> body(frame_.data(), frame_.size() - 1);
        if (uint8_t(sum8(body) + frame_.back()) != 0 || cx.take(Fault::NegativeReceipt)) {
            cx.send({0x15}, at);
            return;
        }
        const Reply r = cx.execute(body, at);
        switch (r.kind) {
        case Reply::Kind::Refused:
            cx.send({0x15}, at);
            break;
        case Reply::Kind::Ack:
            cx.send({0x06}, at);
            break;
        case Reply::Kind::Data: {
            std::vector<uint8_t> out{0x06};
            out.insert(out.end(), r.data.begin(), r.data.end());
            uint8_t cs = uint8_t(-sum8(r.data));
            if (cx.take(Fault::BadChecksum))
                cs = uint8_t(cs + 1);
            out.push_back(cs);
            if (cx.take(Fault::TruncatedReply))
                out.resize(out.size() - 2);
            cx.send(std::move(out), at);
            break;
        }
        }
        cx.after(r);
    }

    enum class St { Idle, AwaitLength, Body } st_ = St::Idle;
    std::vector<uint8_t> frame_;
    std::size_t need_ = 0;
    int64_t deadline_ = kNever;
};

} // namespace

std::unique_ptr<FrameParser> makeTraditionalParser() { return std::make_unique<Traditional>(); }

} // namespace kv::sim
