#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/Line.h"

// A simulated Hayes or GSM modem between the computer's port and a far device (the simulated
// controller behind the far modem). In command mode it takes AT commands (echo per E, answers
// in words or digits per V, S registers, +CREG and +CSQ on a GSM modem) and dials; once
// connected it carries the line both ways with the delay of the telephone network and shows
// the carrier on RLSD, until the "+++" escape and ATH, a DTR drop, or the far end hangs up.

namespace kv::sim {

// What a dialled call comes to.
enum class CallFate : uint8_t {
    Connect,      // the far modem answers (within S7, else NO CARRIER)
    Busy,         // BUSY
    NoCarrier,    // rings, then NO CARRIER
    NoAnswer,     // rings, then NO ANSWER
    NoDialTone,   // NO DIAL TONE
};

struct ModemOptions {
    bool gsm = false;
    int baud = 0;                  // the modem's fixed port speed; 0: it follows the port
    CallFate fate = CallFate::Connect;
    std::string number;            // the only number that reaches the far modem ("": any)
    int answerMs = 6000;           // from the end of dialling to the far modem's answer
    int rings = 1;                 // RING lines before the answer
    bool ringing = false;          // "RINGING" (9) in place of "RING" (2)
    int connectSpeed = 9600;       // shown with CONNECT (0: plain CONNECT)
    int linkDelayMs = 30;          // one way through the telephone network
    bool silent = false;           // a dead or switched-off modem: no echo, no answer
    bool ignoresHangUp = false;    // "+++" and ATH do nothing (a DTR drop still ends the call)
    int registration = 1;          // GSM network state: 0 none, 1 home, 2 searching, 5 roaming
    int signal = 17;               // GSM +CSQ signal value
};

// The modem in front of the controller on a modem channel type (6 Hayes, 8 GSM).
ModemOptions modemOptionsFor(int channelType);

class Modem final : public LineDevice {
public:
    Modem(std::shared_ptr<LineDevice> far, ModemOptions options = {});

    void onByte(const WireByte& b, OutputSink& out) override;
    int64_t nextTimerUs() const override;
    void onTimer(int64_t us, OutputSink& out) override;
    void onControl(const ControlLines& lines, int64_t us) override;
    int baud() const override { return opt_.baud; }
    bool carrier(int64_t) const override { return inCall(); }

    ModemOptions& options() { return opt_; }
    LineDevice& far() { return *far_; }

    bool inCall() const { return mode_ == Mode::Online || mode_ == Mode::OnlineCommand; }
    bool dataMode() const { return mode_ == Mode::Online; }
    bool dialling() const { return mode_ == Mode::Dialling; }
    bool echo() const { return echo_; }
    bool words() const { return words_; }
    int sRegister(int n) const { return n >= 0 && n < kRegisters ? s_[std::size_t(n)] : 0; }

    // Every command line taken (upper case, without its line end), in order.
    const std::vector<std::string>& commands() const { return commands_; }
    const std::string& lastDialled() const { return dialled_; }
    bool lastDialPulse() const { return pulse_; }
    int calls() const { return calls_; }       // dial commands taken
    int hangUps() const { return hangUps_; }   // calls ended by the computer's side

    // The far modem drops the call at `us`: NO CARRIER, back to command mode.
    void farEndHangsUp(int64_t us);

private:
    static constexpr int kRegisters = 32;
    enum class Mode : uint8_t { Command, Dialling, Online, OnlineCommand };
    enum class EventKind : uint8_t { Text, Connect, CallFailed, Escape, FarHangUp };
    struct Event {
        int64_t atUs;
        EventKind kind;
        int code;          // the answer of a Text or CallFailed event
        uint64_t serial;   // events of a call that has ended are dropped
    };

    void reset();
    void commandByte(const WireByte& b, OutputSink& out);
    void onlineByte(const WireByte& b);
    void execute(const std::string& line, int64_t atUs, OutputSink& out);
    bool dial(const std::string& dialString, int64_t atUs);
    void endCall();
    void schedule(int64_t atUs, EventKind kind, int code = 0);
    void runEvent(const Event& e, OutputSink& out);
    std::string result(int code) const;
    std::string info(const std::string& text) const;
    std::string connectText() const;
    void emitAt(OutputSink& out, const std::string& text, int64_t atUs);
    int64_t guardUs() const;

    std::shared_ptr<LineDevice> far_;
    ModemOptions opt_;
    Mode mode_ = Mode::Command;
    bool echo_ = true;
    bool words_ = true;
    bool quiet_ = false;
    int dtrMode_ = 2;      // &D
    int cregMode_ = 0;     // +CREG=n
    int s_[kRegisters] = {};
    bool dtr_ = false;
    std::string line_;
    bool lineTooLong_ = false;
    std::vector<std::string> commands_;
    std::string dialled_;
    bool pulse_ = false;
    int calls_ = 0;
    int hangUps_ = 0;
    uint64_t callSerial_ = 0;
    std::vector<Event> events_;
    std::deque<WireByte> toFar_;   // bytes on their way through the network
    int64_t lastByteUs_ = 0;
    int plus_ = 0;
    int64_t lastPlusUs_ = 0;
};

} // namespace kv::sim
