#include "sim/Responders.h"

#include <algorithm>

#include "sim/Values.h"

namespace kv::sim {

namespace {
constexpr int64_t kMs = 1000;
} // namespace

// ---- ReplyContext ---------------------------------------------------------------------------

bool ReplyContext::answers()
{
    if (take(Fault::SucceedAfter))
        return false;
    return !take(Fault::NoAnswer);
}

Reply ReplyContext::execute(std::span<const uint8_t> body, int64_t atUs)
{
    ExecContext ec;
    ec.face = Face::Serial;
    ec.atUs = atUs;
    ec.gateway = opt.gateway;
    ec.traditional = opt.protocol == Protocol::Traditional;
    return ctl.execute(body, ec);
}

void ReplyContext::send(std::vector<uint8_t> bytes, int64_t atUs, bool isReply)
{
    int64_t start = atUs + int64_t(opt.replyDelayMs) * kMs;
    if (isReply) {
        if (take(Fault::SlowReply))
            start += int64_t(faults->slowReplyMs) * kMs;
        if (take(Fault::GarbageBeforeFrame))
            bytes.insert(bytes.begin(), kGarbage.begin(), kGarbage.end());
    }
    out_.emit(bytes, std::max(start, floorUs_));
}

void ReplyContext::after(const Reply& r)
{
    if (r.release)
        released_ = true;
    if (r.newBaud)
        ctl.setBaud(r.newBaud);
}

// ---- CAN frames -----------------------------------------------------------------------------

bool CanFrameServer::looksLikeFrame(const uint8_t* b)
{
    const bool control = b[4] == 3 && b[6] == 5;
    const bool first = b[4] == 4 && b[6] == 2;
    const bool next = b[4] == 2 && b[6] == 1;
    return b[2] == 0 && b[3] == 0 && (control || first || next);
}

std::optional<std::vector<uint8_t>> CanFrameServer::serve(const Frame& req, Controller& ctl,
                                                          Faults* faults, int64_t atUs)
{
    if (req[0] != ctl.networkNumber() || !looksLikeFrame(req.data()))
        return std::nullopt;
    auto take = [faults](Fault f) { return faults && faults->take(f); };
    if (take(Fault::SucceedAfter) || take(Fault::NoAnswer))
        return std::nullopt;

    std::vector<uint8_t> data;
    if (req[4] == 3) {
        ctl.canControl(req[7], atUs);
        data = {req[7]};
    } else {
        if (req[4] == 4) {
            value_ = ctl.canRead(ParamMemory::addr(req[8], req[7]), atUs).value_or(std::vector<uint8_t>{});
            cursor_ = 0;
        }
        const std::size_t n = std::min<std::size_t>(4, value_.size() - std::min(cursor_, value_.size()));
        data.assign(value_.begin() + std::ptrdiff_t(cursor_), value_.begin() + std::ptrdiff_t(cursor_ + n));
        cursor_ += n;
    }
    uint8_t tag = req[1] & 0xE0;
    if (take(Fault::WrongControlByte))
        tag = uint8_t((tag + 0x20) & 0xE0);
    uint8_t count = uint8_t(data.size() + 1);
    if (take(Fault::WrongLength))
        count = uint8_t((count + 1) & 0x0F);
    // The reply goes back to the computer's address and names the answering controller;
    // the low bits of the tag byte and the high nibble of the count byte carry adapter flags.
    std::vector<uint8_t> f(13, 0);
    f[0] = req[5];
    f[1] = uint8_t(tag | 0x08);
    f[4] = uint8_t(0x20 | count);
    f[5] = ctl.networkNumber();
    std::copy(data.begin(), data.end(), f.begin() + 6);
    if (take(Fault::TruncatedReply))
        f.resize(11);
    return f;
}

// ---- SerialResponder ------------------------------------------------------------------------

SerialResponder::SerialResponder(std::shared_ptr<Controller> ctl, std::shared_ptr<Faults> faults,
                                 ResponderOptions opt)
    : ctl_(std::move(ctl)), faults_(std::move(faults)), opt_(opt)
{
    switch (opt_.protocol) {
    case Protocol::Traditional: parser_ = makeTraditionalParser(); break;
    case Protocol::Ft11: parser_ = makeFt11Parser(); break;
    case Protocol::Ft12: parser_ = makeFt12Parser(); break;
    }
}

bool SerialResponder::addressing() const
{
    return opt_.protocol == Protocol::Traditional && ctl_->networkNumber() != 0;
}

void SerialResponder::onByte(const WireByte& b, OutputSink& out)
{
    // A byte sent at another speed is a framing error: whatever was being received is lost.
    if (b.baud != 0 && ctl_->baud() != 0 && b.baud != ctl_->baud()) {
        parser_->reset();
        burst_.clear();
        return;
    }
    if (addressing() && b.baud != 0) {
        const bool address = opt_.addressChannel == 0 ? b.ninthBit
                                                      : b.ninthBit == Line::ninthBitOf(b.value, Parity::Even);
        if (address) {
            parser_->reset();
            if (b.value == 0xFF)
                return;   // the filler after an address
            selected_ = b.value == ctl_->networkNumber();
            if (selected_) {
                ReplyContext cx(*ctl_, faults_.get(), opt_, out, b.atUs);
                uint8_t answer = ctl_->networkNumber();
                if (cx.take(Fault::WrongAddress))
                    answer = uint8_t(answer + 1);
                cx.send({answer}, b.atUs, false);
            }
            return;
        }
        if (!selected_)
            return;
    }
    if (opt_.gateway && (parser_->idle() || !burst_.empty())) {
        burst_.push_back(b);
        if (burst_.size() == 13) {
            CanFrameServer::Frame f;
            for (std::size_t i = 0; i < 13; ++i)
                f[i] = burst_[i].value;
            if (CanFrameServer::looksLikeFrame(f.data())) {
                burst_.clear();
                if (auto reply = can_.serve(f, *ctl_, faults_.get(), b.atUs)) {
                    ReplyContext cx(*ctl_, faults_.get(), opt_, out, b.atUs);
                    cx.send(std::move(*reply), b.atUs);
                }
            }
        } else if (burst_.size() > 13) {
            flushBurst(b.atUs, out);
        }
        return;
    }
    feed(b.value, b.atUs, out, b.atUs);
}

void SerialResponder::feed(uint8_t v, int64_t atUs, OutputSink& out, int64_t floorUs)
{
    ReplyContext cx(*ctl_, faults_.get(), opt_, out, floorUs);
    parser_->onByte(v, atUs, cx);
    if (cx.released() && addressing())
        selected_ = false;
}

void SerialResponder::flushBurst(int64_t atUs, OutputSink& out)
{
    const std::vector<WireByte> held = std::move(burst_);
    burst_.clear();
    for (const WireByte& w : held)
        feed(w.value, w.atUs, out, atUs);
}

int64_t SerialResponder::nextTimerUs() const
{
    int64_t t = parser_->deadlineUs();
    if (!burst_.empty()) {
        const int baud = burst_.back().baud;
        const int64_t gap = baud > 0 ? std::max<int64_t>(2 * kMs, 3 * 11 * 1000000LL / baud) : 5 * kMs;
        t = std::min(t, burst_.back().atUs + gap);
    }
    return t;
}

void SerialResponder::onTimer(int64_t us, OutputSink& out)
{
    if (!burst_.empty())
        flushBurst(us, out);
    if (parser_->deadlineUs() <= us)
        parser_->reset();
}

// ---- CanAdapter -----------------------------------------------------------------------------

CanAdapter::CanAdapter(std::shared_ptr<Controller> ctl, std::shared_ptr<Faults> faults)
    : ctl_(std::move(ctl)), faults_(std::move(faults))
{
}

void CanAdapter::onControl(const ControlLines& lines, int64_t)
{
    // Dropping DTR resets the adapter: it waits for a new initialisation block.
    if (dtr_ && !lines.dtr) {
        ready_ = false;
        buf_.clear();
    }
    dtr_ = lines.dtr;
}

void CanAdapter::onByte(const WireByte& b, OutputSink& out)
{
    if (!buf_.empty() && b.atUs - lastUs_ > 200 * kMs)
        buf_.clear();
    lastUs_ = b.atUs;
    buf_.push_back(b.value);
    if (!ready_) {
        if (buf_.size() < 36)
            return;
        lastBlock_ = buf_;
        buf_.clear();
        const bool ok = !refuseInit_ && sum8(lastBlock_) == 0;
        ready_ = ok;
        if (ok)
            carrierLost_ = false;
        const std::vector<uint8_t> answer = ok ? std::vector<uint8_t>{0x30, 0x0A, 0x0D}
                                               : std::vector<uint8_t>{0x3F, 0x0A, 0x0D};
        out.emit(answer, b.atUs + 5 * kMs);
        return;
    }
    if (buf_.size() < 13)
        return;
    CanFrameServer::Frame f;
    std::copy(buf_.begin(), buf_.end(), f.begin());
    buf_.clear();
    if (auto reply = can_.serve(f, *ctl_, faults_.get(), b.atUs)) {
        int64_t start = b.atUs + 3 * kMs;
        if (faults_ && faults_->take(Fault::SlowReply))
            start += int64_t(faults_->slowReplyMs) * kMs;
        if (faults_ && faults_->take(Fault::GarbageBeforeFrame))
            reply->insert(reply->begin(), kGarbage.begin(), kGarbage.end());
        out.emit(*reply, start);
    }
}

int64_t CanAdapter::nextTimerUs() const { return kNever; }

void CanAdapter::onTimer(int64_t, OutputSink&) {}

} // namespace kv::sim
