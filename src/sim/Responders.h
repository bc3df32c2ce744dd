#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/Controller.h"
#include "sim/Faults.h"
#include "sim/Line.h"

// The controller's side of the serial protocols: the traditional protocol (0x05/0x04
// handshake, receipts 0x06/0x15, checksums), FT1.1 and FT1.2 (CRC modes 0..2, frame counter
// echoed or not), addressing by network number with the ninth bit, and the gateway form of a
// CAN-BUS gateway reached over a modem.

namespace kv::sim {

enum class Protocol : uint8_t { Traditional, Ft12, Ft11 };

struct ResponderOptions {
    Protocol protocol = Protocol::Traditional;
    int crcMode = 0;             // FT1.2: 0 sum, 1 CRC inside the data, 2 CRC in place of the sum
    bool echoCounter = true;     // FT1.2: the reply's control byte echoes the frame counter
    int addressChannel = 0;      // 0: address bytes come with the ninth bit set (data: clear);
                                 // else: address bytes have even parity, data bytes odd
    bool gateway = false;        // a CAN-BUS gateway: gateway bodies and 13-byte frames too
    int replyDelayMs = 3;        // the controller's turnaround
};

// Bytes that stand in for noise on the line before a reply.
inline constexpr std::array<uint8_t, 3> kGarbage = {0x55, 0x1A, 0x5A};

class ReplyContext;

// One protocol's frame reader and writer.
class FrameParser {
public:
    virtual ~FrameParser() = default;
    virtual void onByte(uint8_t b, int64_t atUs, ReplyContext& cx) = 0;
    virtual bool idle() const = 0;
    virtual void reset() = 0;
    // When a half-received frame (or an unanswered handshake) is given up.
    virtual int64_t deadlineUs() const = 0;
};

std::unique_ptr<FrameParser> makeTraditionalParser();
std::unique_ptr<FrameParser> makeFt11Parser();
std::unique_ptr<FrameParser> makeFt12Parser();

// The 13-byte CAN frame side, shared by the CAN adapter and the gateway.
class CanFrameServer {
public:
    using Frame = std::array<uint8_t, 13>;
    // The reply to a request frame (nullopt: not for this controller, or no answer).
    std::optional<std::vector<uint8_t>> serve(const Frame& req, Controller& ctl, Faults* faults,
                                              int64_t atUs);
    static bool looksLikeFrame(const uint8_t* b);

private:
    std::vector<uint8_t> value_;   // the value being read frame by frame
    std::size_t cursor_ = 0;
};

// Everything a frame parser needs to serve a request.
class ReplyContext {
public:
    ReplyContext(Controller& ctl, Faults* faults, const ResponderOptions& opt, OutputSink& out,
                 int64_t floorUs)
        : ctl(ctl), faults(faults), opt(opt), out_(out), floorUs_(floorUs) {}

    Controller& ctl;
    Faults* faults;
    const ResponderOptions& opt;

    bool take(Fault f) { return faults && faults->take(f); }
    bool armed(Fault f) const { return faults && faults->armed(f); }
    // The request arrived complete: false when the controller is to stay silent.
    bool answers();
    Reply execute(std::span<const uint8_t> body, int64_t atUs);
    // Sends `bytes` after the turnaround; a reply may come late or after noise.
    void send(std::vector<uint8_t> bytes, int64_t atUs, bool isReply = true);
    // Takes effect after the reply has gone: release of the line, a new line speed.
    void after(const Reply& r);
    bool released() const { return released_; }

private:
    OutputSink& out_;
    int64_t floorUs_;
    bool released_ = false;
};

// The serial face of a controller on a line: addressing, speed, and one protocol.
class SerialResponder final : public LineDevice {
public:
    SerialResponder(std::shared_ptr<Controller> ctl, std::shared_ptr<Faults> faults,
                    ResponderOptions opt);

    void onByte(const WireByte& b, OutputSink& out) override;
    int64_t nextTimerUs() const override;
    void onTimer(int64_t us, OutputSink& out) override;
    int baud() const override { return ctl_->baud(); }

    Controller& controller() { return *ctl_; }
    const ResponderOptions& options() const { return opt_; }
    // With a network number on the traditional protocol the controller listens only after
    // it has been addressed.
    bool selected() const { return selected_; }

private:
    bool addressing() const;
    void feed(uint8_t b, int64_t atUs, OutputSink& out, int64_t floorUs);
    void flushBurst(int64_t atUs, OutputSink& out);

    std::shared_ptr<Controller> ctl_;
    std::shared_ptr<Faults> faults_;
    ResponderOptions opt_;
    std::unique_ptr<FrameParser> parser_;
    bool selected_ = false;
    // Gateway: bytes that arrive while idle are held until it is clear whether they form
    // a 13-byte CAN frame or the start of a protocol frame.
    std::vector<WireByte> burst_;
    CanFrameServer can_;
};

// The CAN adapter of channel type 11 with the controller behind it on the bus.
class CanAdapter final : public LineDevice {
public:
    CanAdapter(std::shared_ptr<Controller> ctl, std::shared_ptr<Faults> faults);

    void onByte(const WireByte& b, OutputSink& out) override;
    int64_t nextTimerUs() const override;
    void onTimer(int64_t us, OutputSink& out) override;
    void onControl(const ControlLines& lines, int64_t us) override;
    bool carrier(int64_t) const override { return ready_ && !carrierLost_; }

    bool ready() const { return ready_; }
    void loseCarrier() { carrierLost_ = true; }
    void setRefuseInit(bool refuse) { refuseInit_ = refuse; }
    const std::vector<uint8_t>& initBlock() const { return lastBlock_; }

private:
    std::shared_ptr<Controller> ctl_;
    std::shared_ptr<Faults> faults_;
    bool ready_ = false;
    bool carrierLost_ = false;
    bool refuseInit_ = false;
    bool dtr_ = false;
    std::vector<uint8_t> buf_;
    int64_t lastUs_ = 0;
    std::vector<uint8_t> lastBlock_;
    CanFrameServer can_;
};

} // namespace kv::sim
