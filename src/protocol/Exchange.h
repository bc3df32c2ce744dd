#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The request/reply engine: wraps a request body into the frame of the configured protocol
// (traditional, FT1.1, FT1.2), sends it, waits for receipt and reply, checks them.
// One engine per process; its state is the exchange state every command shares.

namespace kv {

namespace prot {
constexpr uint8_t Traditional = 0;
constexpr uint8_t Ft12 = 1;
constexpr uint8_t Ft11 = 2;
constexpr uint8_t Ft12Counted = 3;   // FT1.2 with frame counter, set only by the probe
} // namespace prot

struct ExchangeState {
    uint8_t protocol = 0;         // 0 traditional, 1 FT1.2, 2 FT1.1, 3 FT1.2 with frame counter
    uint8_t networkNumber = 0;
    uint8_t crcMode = 0;          // FT1.2: 0..2
    uint8_t computerAddress = 0;  // CAN-BUS frames
    uint8_t gatewayNode = 0;      // CAN-BUS gateway node number
    int speedIndex = 5;           // 0..10
    int attemptCount = 3;         // values below 1 count as 1
    uint8_t frameCounter = 0;
    int retryPauseMs = 3000;
};

// Engine that builds the frames for the given protocol value.
enum class FrameEngine { Traditional, Ft11, Ft12 };
FrameEngine frameEngineFor(uint8_t protocol);

// The reply-wait base T (seconds, or wait units) of an engine: 10 on a Hayes modem line (and on
// a GSM line for FT1.2), otherwise 8 at 300 baud, 5 at 600 and 1200 baud, 3 above.
int replyWaitBase(FrameEngine engine, int channelType, int speedIndex);

// Whole wait units (0.864 s, 1e-5 day) between two date-time values.
int waitUnitsBetween(double earlier, double later);

class Exchange {
public:
    Exchange(Clock& clock, EventPump& pump, TraceLog& trace);

    ExchangeState& state() { return state_; }
    const ExchangeState& state() const { return state_; }
    Clock& clock() { return clock_; }
    EventPump& pump() { return pump_; }
    TraceLog& trace() { return trace_; }

    // One exchange. `body` is the protocol-independent request body (function code first);
    // `reply` receives the reply's data bytes from index 0 and is never written past its size;
    // `replyLen` is the reply length d of the protocol rules (0 = receipt only).
    ExchangeResult transact(SerialPort& port, std::span<const uint8_t> body,
                            std::span<uint8_t> reply, int channelType, int replyLen);

    // FT1.2 frame counter probe, run before the first exchange with a controller.
    ExchangeResult probeFrameCounter(SerialPort& port, int channelType);

    // One trace line; the user interface gets to process pending messages after each.
    void debugLog(const std::string& line);

private:
    // The start of each FT1.1 / FT1.2 attempt: the pause after a failed one, an empty input,
    // the modem-power test (false: no power) and the line's turnaround before sending.
    bool startFrameAttempt(SerialPort& port, int channelType, int speed, int attempt);
    ExchangeResult traditional(SerialPort& port, std::span<const uint8_t> body,
                               std::span<uint8_t> reply, int channelType, int replyLen);
    ExchangeResult ft11(SerialPort& port, std::span<const uint8_t> body,
                        std::span<uint8_t> reply, int channelType, int replyLen);
    ExchangeResult ft12(SerialPort& port, std::span<const uint8_t> body,
                        std::span<uint8_t> reply, int channelType, int replyLen);
    int attempts() const { return state_.attemptCount < 1 ? 1 : state_.attemptCount; }
    int waitUnitsSince(double start) const { return waitUnitsBetween(start, clock_.now()); }

    Clock& clock_;
    EventPump& pump_;
    TraceLog& trace_;
    ExchangeState state_;
};

} // namespace kv
