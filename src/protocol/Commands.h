#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/CanBus.h"
#include "protocol/ControllerReal.h"
#include "protocol/Exchange.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The parameter command layer: reads and writes controller parameters by their code, checked
// against the reference catalog; status, version and model; bit operations; group descriptors;
// blocks of timed and plain values; the simple service commands.
//
// Every operation returns an `ExchangeResult`: the engine's code unchanged when an exchange
// fails, or this layer's own codes before any exchange:
//   14  the parameter is not in the catalog;
//   15  the command does not fit the parameter's format (also: the caller's storage is
//       smaller than the value, or the data to write is shorter than the value);
//   16  bit operation not allowed for the class;   17  bit number out of range;
//   18  group parameter number above 7.
// No operation hands back part of a value: on failure the caller's storage is untouched.
//
// On the CAN-BUS channel types (11, 12) every read goes through the CAN link (frames on 11,
// gateway reads on 12) and 4-byte reals arrive as IEEE singles; writes, bit operations and the
// simple commands always go through `transact`, which refuses channel type 11 with 50.

namespace kv {

// A parameter as parameter lists hold it: class-and-index byte, number (code) byte, index.
struct ParamCode {
    uint8_t classIndex = 0;   // top two bits: the class the catalog is searched by
    uint8_t number = 0;       // the address low byte and the catalog code
    uint8_t index = 0;        // sensor, pipeline or element number, added to the high byte

    uint8_t classBits() const { return uint8_t(classIndex & 0xC0); }
    uint8_t addressHigh() const { return uint8_t(classIndex + index); }
    // The controller address: (byte 0 + byte 2) mod 256 high, byte 1 low.
    uint16_t address() const { return uint16_t((addressHigh() << 8) | number); }
    bool operator==(const ParamCode&) const = default;
};

// The catalog's "find format": the format byte of the first catalog entry whose class equals
// code.classBits() and whose code equals code.number, or nothing when there is none.
using FormatLookup = std::function<std::optional<uint8_t>(const ParamCode&)>;

// What the caller asks a parameter command for; each kind fits only some formats.
enum class ValueKind : uint8_t {
    Plain = 0,     // every format but 2 and 8
    Format2 = 2,   // format 2 only
    Real = 8,      // formats 8 and 9 (a 4-byte real)
    String = 10,   // writes only; every format but 2 and 8
};

// Byte length of a value of catalog format 0..10; 0 for any other format byte.
int formatLength(uint8_t format);
// Whether a command of `kind` may touch a parameter of `format`.
bool kindFits(ValueKind kind, uint8_t format);

// The largest value a write sends (a format-10 string with its closing 0xFF).
inline constexpr int kMaxWriteLength = 129;

// ---- Request bodies (function code first) -----------------------------------------------

std::array<uint8_t, 3> readBody(uint16_t address);                    // 01 hi lo
std::array<uint8_t, 5> writeEnableBody(const ParamCode& code);         // 05 40 07 ~(b0|b2) ~b1
std::vector<uint8_t> writeBody(uint16_t address, std::span<const uint8_t> value);   // 05 hi lo value
inline constexpr std::array<uint8_t, 1> kResetFailuresBody{0x00};     // "СБРОС ОТКАЗОВ"
inline constexpr std::array<uint8_t, 1> kRunModeBody{0x08};           // to "РАБОТА"
inline constexpr std::array<uint8_t, 1> kReleaseBody{0x0B};           // release the addressed controller

// ---- Controller status ------------------------------------------------------------------

inline constexpr uint16_t kStatusAddress = 0x4000;
inline constexpr uint8_t kStateMask = 0x18;        // bits 4..3: the controller state
inline constexpr uint8_t kFailureResetBit = 0x04;  // set once a failure reset is done

// The state names by state bits 0..2 ("РАБОТА", "ОСТАНОВ", "ПЕРЕЗАПУСК").
extern const std::array<std::string, 3> kStateNames;

// readStatus() when the exchange succeeded but (status AND mask) differs from `expected`.
inline constexpr ExchangeResult kStatusDiffers = -1;

// ---- Results of block reads -------------------------------------------------------------

struct VersionInfo {
    int model = 0;                        // 0..3, as the configuration's "Blok1"
    std::array<uint8_t, 2> version{};     // the controller's two version bytes
};

struct TimedValue {
    double time = 0.0;    // time of day as a fraction of a day (0 when the record's time is not valid)
    double value = 0.0;   // 0 also for the invalid-value marker
};

// The bit-operation descriptor: 0x40, class letter 'G' / 'I' / 'J', mode, bit number,
// operation selector 0..3.
using BitDescriptor = std::array<uint8_t, 5>;

// ---- The command layer ------------------------------------------------------------------

class Commands {
public:
    Commands(Exchange& engine, CanLink& can, FormatLookup lookup = {});

    // Replace the catalog lookup (the catalog is rebuilt on every activation and model change).
    // Without a lookup every parameter command returns 14.
    void setFormatLookup(FormatLookup lookup) { lookup_ = std::move(lookup); }

    // The state name of the last status read ("" until one reported a state); kept for the run.
    const std::string& stateName() const { return stateName_; }

    // Reads `value.size()` bytes at a controller address without any catalog check:
    // `transact` with 01 hi lo on the serial types, the CAN read on 11 and 12.
    ExchangeResult readAddress(SerialPort& port, int channelType, uint16_t address, std::span<uint8_t> value);

    // Reads a parameter's value (formatLength bytes) into the start of `value`; `length`, when
    // given, receives the length on success. Kinds Plain, Format2, Real.
    ExchangeResult readParam(SerialPort& port, int channelType, const ParamCode& code, ValueKind kind,
                             std::span<uint8_t> value, int* length = nullptr);
    // readParam of kind Plain (the value's bytes as sent).
    ExchangeResult readRaw(SerialPort& port, int channelType, const ParamCode& code,
                           std::span<uint8_t> value, int* length = nullptr) {
        return readParam(port, channelType, code, ValueKind::Plain, value, length);
    }
    // A 4-byte real of format 8 or 9, decoded for the channel (`ControllerReal`, traced, on the
    // serial types; IEEE on CAN-BUS). The marker comes back as kInvalidValue.
    ExchangeResult readReal(SerialPort& port, int channelType, const ParamCode& code, double& value);

    // Writes a parameter: the write-enable step, then the value. The value has the format's
    // length; for format 10 it runs up to and including the first 0xFF, at most 129 bytes.
    ExchangeResult writeParam(SerialPort& port, int channelType, const ParamCode& code,
                              std::span<const uint8_t> data, ValueKind kind);
    // Encodes `value` as a `ControllerReal` and writes it with kind Real.
    ExchangeResult writeReal(SerialPort& port, int channelType, const ParamCode& code, double value);

    // A bit-variable operation; `resultByte` receives the controller's answer: the reply byte
    // in mode 0, else the second status byte read 100 ms after the receipt.
    ExchangeResult bitOperation(SerialPort& port, int channelType, const BitDescriptor& descriptor,
                                uint8_t& resultByte);

    // Group parameter descriptor n (0..7): read into `descriptor` (its size is the reply
    // length), written as the parameter 0x40/0x50/n (its catalog format fixes the length).
    ExchangeResult readGroupDescriptor(SerialPort& port, int channelType, int number,
                                       std::span<uint8_t> descriptor);
    ExchangeResult writeGroupDescriptor(SerialPort& port, int channelType, int number,
                                        std::span<const uint8_t> descriptor);

    // Version bytes and model. Serial: 2 bytes at 0x401E and at 0x411E; equal replies are
    // model 0, otherwise the first i of 1..3 whose second reply is i, 255 - i, else 3.
    // CAN-BUS (frames on both 11 and 12): control value 3, the number at 0xF000 must lie in
    // 0x1700..0x17FF (else 50), model 3 and the version bytes from 0x401E.
    ExchangeResult readVersion(SerialPort& port, int channelType, VersionInfo& info);

    // Reads the status word at 0x4000 and updates stateName() from the state bits (state 3
    // leaves it). Returns the exchange's code when it failed, else 0 when
    // (status byte AND mask) == expected and kStatusDiffers otherwise. The status byte is the
    // second byte on the serial types, the first on CAN-BUS; `statusByte` receives it.
    ExchangeResult readStatus(SerialPort& port, int channelType, uint8_t mask, uint8_t expected,
                              uint8_t* statusByte = nullptr);

    // The 16 records of 6 bytes (real, hour, minute) at ((selector AND 0xF0), 0x28): the block
    // of 16 interval records that holds record `selector`.
    ExchangeResult readTimedValues(SerialPort& port, int channelType, uint8_t selector,
                                   std::array<TimedValue, 16>& values);
    // 32 reals at (high, 0x30 + element); the marker becomes 0.
    ExchangeResult read32Values(SerialPort& port, int channelType, uint8_t high, uint8_t element,
                                std::array<double, 32>& values);

    // Receipt-only service commands.
    ExchangeResult resetFailures(SerialPort& port, int channelType);
    ExchangeResult setRunMode(SerialPort& port, int channelType);
    ExchangeResult release(SerialPort& port, int channelType);

private:
    // The catalog checks: 14 / 15, or 0 with the parameter's format.
    ExchangeResult checkParam(const ParamCode& code, ValueKind kind, uint8_t& format) const;
    ExchangeResult simple(SerialPort& port, int channelType, std::span<const uint8_t> body);

    Exchange& engine_;
    CanLink& can_;
    FormatLookup lookup_;
    std::string stateName_;
};

// Sets `AttemptCount` for the commands that must not repeat and puts the previous value back
// when it goes out of scope.
class ScopedAttemptCount {
public:
    ScopedAttemptCount(Exchange& engine, int count)
        : state_(engine.state()), saved_(state_.attemptCount) { state_.attemptCount = count; }
    ~ScopedAttemptCount() { state_.attemptCount = saved_; }
    ScopedAttemptCount(const ScopedAttemptCount&) = delete;
    ScopedAttemptCount& operator=(const ScopedAttemptCount&) = delete;

private:
    ExchangeState& state_;
    int saved_;
};

} // namespace kv
