#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "protocol/Exchange.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The CAN-BUS link. On channel type 11 a CAN adapter sits on the serial port: it is
// initialised with a 36-byte block and then carries fixed 13-byte frames, one request frame
// and one reply frame per step. On channel type 12 a Hayes modem reaches a gateway controller,
// which takes its reads and control commands as ordinary request bodies through `transact`
// (function 0x11 for reads, 0x14 for control); the 13-byte frames can be sent over that line
// as well, and a few reads always are.

namespace kv {

// ---- The adapter initialisation block ------------------------------------------------------

// The values of the configuration's section "CAN-BUS" and the key "SpeedPC" of "Parametr",
// as read from the file (a missing key is an empty text).
struct CanBusConfig {
    std::string acceptanceFilter;   // "Acceptance Filter": 24 hexadecimal numbers
    std::string acceptanceMask;     // "Acceptance Mask": 8 hexadecimal numbers
    std::string cnf321;             // "CNF 321": 3 hexadecimal numbers, in the key's order
    int speedPc = 0;                // "SpeedPC": bus speed index 0..14
};

using CanInitBlock = std::array<uint8_t, 36>;

// Bus speed code of a "SpeedPC" index (0 = 300 kbit/s .. 14 = 10 kbit/s); an index outside
// 0..14 counts as 0.
uint8_t canSpeedCode(int speedIndex);

// Takes exactly `count` numbers from a configuration value: every character that is not a
// hexadecimal digit separates, each number keeps its low byte. False when fewer are found.
bool parseHexBytes(const std::string& value, std::span<uint8_t> out);

// Filters (0..23), masks (24..31), bit timing (32..34) with the speed code in byte 34, and a
// checksum (35) that makes the 36 bytes sum to 0 modulo 256. A value with too few numbers
// gives the default of its whole group.
CanInitBlock makeCanInitBlock(const CanBusConfig& config);

// Initialises the adapter: DTR pulse, the block, and the adapter's answer 30 0A 0D within the
// read time-out of 1000 ms. Only an exact answer is success. Writes nothing to the trace.
// The port open sequence of channel type 11 calls this.
bool initCanAdapter(SerialPort& port, const CanInitBlock& block, Clock& clock, EventPump& pump);

// ---- Frames -----------------------------------------------------------------------------

using CanFrame = std::array<uint8_t, 13>;

// Frame kinds (byte 4) and functions (byte 6) of a request frame.
enum : uint8_t {
    kCanKindNextRead = 2,
    kCanKindControl = 3,
    kCanKindFirstRead = 4,
    kCanFnContinue = 1,
    kCanFnRead = 2,
    kCanFnControl = 5,
};

// The largest number of data bytes one reply frame carries (bytes 6..9).
inline constexpr int kCanFrameData = 4;

// A request frame: network number, kind, computer address, function, bytes 7 and 8; the
// sequence tag (byte 1) is set when the frame is sent.
CanFrame makeCanFrame(uint8_t networkNumber, uint8_t kind, uint8_t computerAddress,
                      uint8_t function, uint8_t byte7 = 0, uint8_t byte8 = 0);

// The tag that follows `tag` in the sequence 0x20, 0x40, .. 0xC0, 0x20, ...
constexpr uint8_t nextCanTag(uint8_t tag) { return (tag >= 0xC0 || tag < 0x20) ? 0x20 : uint8_t(tag + 0x20); }

// The gateway read body of channel type 12 for 4 bytes at `address`: 11 lo hi 04 in the
// traditional protocol (0), 11 00 lo hi in the FT protocols.
std::array<uint8_t, 4> gatewayReadBody(uint8_t protocol, uint16_t address);

// The gateway control body 14 03 00 05 value.
std::array<uint8_t, 5> gatewayControlBody(uint8_t value);

// ---- The link ---------------------------------------------------------------------------

// One per process (it owns the sequence tag, which runs on for the life of the program).
// Network number, computer address, protocol and `AttemptCount` come from the engine's
// exchange state at each call; waits go through the engine's clock, trace lines to its trace.
class CanLink {
public:
    explicit CanLink(Exchange& engine);

    // The block sent at every adapter initialisation; rebuild it whenever the configuration
    // is loaded or saved.
    void setInitBlock(const CanInitBlock& block) { block_ = block; }
    const CanInitBlock& initBlock() const { return block_; }

    // The cancel request of the modem initialisation window: checked before every frame
    // attempt; when it answers true the exchange ends with 9 and sends nothing.
    void setCancelRequest(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }

    // The tag of the last frame sent (0 before the first).
    uint8_t lastTag() const { return tag_; }

    bool initAdapter(SerialPort& port);

    // 0 while the adapter shows the carrier (RLSD); otherwise initialises the adapter again:
    // 0 on success, 46 on failure.
    ExchangeResult lineCheck(SerialPort& port);

    // Sends `request` (its byte 1 gets the next tag) and takes a 13-byte reply whose tag
    // matches (else 42) and whose count nibble is dataCount + 1 (else 43); 41 when no complete
    // reply comes within 2 s, 8 when the write fails, 9 when cancelled. Up to `AttemptCount`
    // attempts. On 0 `reply` is the reply frame with byte 4 cut to its low four bits;
    // on failure `reply` is left as it was.
    ExchangeResult exchangeFrame(SerialPort& port, CanFrame& request, int dataCount, CanFrame& reply);

    // Control command as a frame (kind 3, function 5, the value in byte 7); a count mismatch
    // (43) counts as success, since the adapter answers control with its own count.
    ExchangeResult controlFrame(SerialPort& port, uint8_t value);
    // Control command in the gateway form through `transact` (receipt only).
    ExchangeResult controlGateway(SerialPort& port, int channelType, uint8_t value);
    // The windows' rule: frames on channel type 11, the gateway form on 12.
    ExchangeResult control(SerialPort& port, int channelType, uint8_t value);

    // Reads out.size() bytes at a 16-bit controller address (high byte = class + index,
    // low byte = number) into `out`; out[i] is the data byte i, i.e. byte 6 + i of a reply
    // frame. Nothing is written to `out` unless the whole read succeeds.
    //
    // Frames: first frame kind 4 / function 2 with the address, then kind 2 / function 1,
    // at most 4 data bytes each.
    ExchangeResult readFrames(SerialPort& port, uint16_t address, std::span<uint8_t> out);
    // Gateway: one `transact` that fetches 4 bytes, of which the first out.size() are kept;
    // 15 for more than 4 bytes.
    ExchangeResult readGateway(SerialPort& port, int channelType, uint16_t address, std::span<uint8_t> out);
    // Channel type 12: values of up to 4 bytes by the gateway read, longer ones as frames;
    // frames on every other type (the adapter's 11).
    ExchangeResult read(SerialPort& port, int channelType, uint16_t address, std::span<uint8_t> out);

private:
    Exchange& engine_;
    CanInitBlock block_;
    std::function<bool()> cancelled_;
    uint8_t tag_ = 0;
};

} // namespace kv
