#pragma once
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "protocol/SerialPort.h"
#include "sim/Faults.h"
#include "sim/VirtualClock.h"

// The simulated serial line between the program and a simulated device (a controller, a CAN
// adapter, a gateway). Every byte takes the time its frame needs at the set speed (start bit,
// data bits, parity bit, stop bits); the far end sees each byte with its ninth (parity or
// first stop) bit and the speed it was sent at, so a wrong speed or a wrong parity does on
// the simulated line what it does on a real one. The line also models what sits between the
// port and the controller: the echo of a two-wire line, a channel switch driven on the
// handshake lines, the modem lines DSR and CTS, and the CAN adapter's carrier on RLSD.

namespace kv::sim {

inline constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

struct WireByte {
    uint8_t value = 0;
    bool ninthBit = true;   // the parity bit, or the first stop bit when there is no parity
    int baud = 0;           // the speed it was sent at; 0 when not known (pseudo-terminal)
    int64_t atUs = 0;       // when its last bit has arrived
};

// Where a device sends its bytes: the line schedules them from `startUs` on.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void emit(std::span<const uint8_t> bytes, int64_t startUs) = 0;
};

struct ControlLines {
    bool dtr = false, rts = false, brk = false;
};

// The far end of a line.
class LineDevice {
public:
    virtual ~LineDevice() = default;
    virtual void onByte(const WireByte& b, OutputSink& out) = 0;
    // The next moment the device acts on silence (kNever: none), and that action.
    virtual int64_t nextTimerUs() const { return kNever; }
    virtual void onTimer(int64_t /*us*/, OutputSink& /*out*/) {}
    virtual void onControl(const ControlLines& /*lines*/, int64_t /*us*/) {}
    // The device's own line speed (0: it follows whatever the port sends).
    virtual int baud() const { return 0; }
    // Carrier as the device reports it on RLSD.
    virtual bool carrier(int64_t /*us*/) const { return true; }
};

struct LineOptions {
    bool echo = false;           // two-wire line: every byte sent comes back
    bool channelSwitch = false;  // a channel switch sits between the port and the controller
    int switchChannel = 0;       // the switch channel the controller hangs on
    bool switchAnswers = true;   // the switch confirms the selected channel on CTS
    bool ismModem = false;       // an ИСМ-1200 modem: CTS follows RTS, except at 300 baud
    bool modemPower = true;      // DSR on
};

// The line equipment of a channel type (0..12).
LineOptions lineOptionsFor(int channelType, int switchChannel = 0);

class Line final : public SerialPort, private OutputSink {
public:
    Line(SimClock& clock, std::shared_ptr<LineDevice> device, LineOptions options = {},
         std::shared_ptr<Faults> faults = nullptr);

    bool setParams(const LineParams& p) override;
    LineParams params() const override { return params_; }
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool setBreak(bool on) override;
    ModemStatus modemStatus() override;
    void setTimeouts(int readTotalMs, int writePerByteMs) override;
    int read(uint8_t* buf, int n) override;
    int write(const uint8_t* buf, int n) override;
    void discardInput() override;

    // ---- for tests and the demo ---------------------------------------------------------
    LineOptions& options() { return opt_; }
    void setModemPower(bool on) { opt_.modemPower = on; }
    LineDevice& device() { return *device_; }
    ControlLines controlLines() const { return lines_; }
    // Every byte the program sent, as the far end saw it.
    const std::vector<WireByte>& sent() const { return sentLog_; }
    void clearSent() { sentLog_.clear(); }
    // The channel the switch has connected (-1: none yet).
    int switchSelected() const { return sw_.selected; }
    // Microseconds one byte takes with the current parameters.
    int64_t byteTimeUs(int count = 1) const;

    static bool ninthBitOf(uint8_t b, Parity p);

private:
    void emit(std::span<const uint8_t> bytes, int64_t startUs) override;
    bool gone();
    void runUntil(int64_t us);
    bool connected() const;   // the switch (if any) connects the port to the controller
    void controlChanged(const ControlLines& before);
    int bitsPerByte() const;

    struct RxByte {
        uint8_t value;
        int64_t atUs;
    };
    struct Switch {
        uint8_t shiftIn = 0;
        int bitsIn = 0;
        uint8_t out = 0;
        int selected = -1;
    };

    SimClock& clock_;
    std::shared_ptr<LineDevice> device_;
    LineOptions opt_;
    std::shared_ptr<Faults> faults_;
    LineParams params_;
    ControlLines lines_;
    int readTotalMs_ = 1000;
    int writePerByteMs_ = 0;
    std::deque<WireByte> tx_;     // on their way to the device
    std::deque<RxByte> rx_;       // on their way to (or waiting at) the port, in arrival order
    int64_t txBusyUntil_ = 0;
    int64_t rxBusyUntil_ = 0;
    int64_t rxBurstStart_ = 0;   // start of the latest burst the device sent
    std::vector<WireByte> sentLog_;
    Switch sw_;
};

} // namespace kv::sim
