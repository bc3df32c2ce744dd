#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "app/TraceLog.h"

// The controller's number formats.
//
// `ControllerReal` is the controller's own 4-byte real: an exponent byte b0 and 23 explicit
// mantissa bits (no hidden bit) in b1 bits 6..0, b2, b3, with the sign in bit 7 of b1.
// The top mantissa bit weighs 2^(b0-129), bit 0 of b3 weighs 2^(b0-151), and a set bit 0 of b3
// adds a further half of its weight. The controller integer weighs its first byte one million.
// Controllers on the CAN-BUS channel types send IEEE 754 singles, little-endian, instead.

namespace kv {

// A value the controller marks as not valid (also what every out-of-range decode gives).
inline constexpr double kInvalidValue = 3.0e38;

using ValueBytes = std::array<uint8_t, 4>;

// Decodes a `ControllerReal`. FF FF FF FF and exponents of 160 and above give kInvalidValue;
// exponents below 2 give 0. Every value decoded from its bits is written to `trace` (when
// given) as one line: the four bytes as "XX " each, then the value in decimal.
double decodeControllerReal(std::span<const uint8_t, 4> b, TraceLog* trace = nullptr);

// Encodes a value as a `ControllerReal`, mantissa truncated (never rounded).
// 0 gives 80 00 00 00; magnitudes at or above kInvalidValue, magnitudes too large for the
// exponent byte and NaN give FF FF FF FF (the marker); magnitudes below 2^-127, which the
// format cannot hold, are written as 0 (80 00 00 00).
ValueBytes encodeControllerReal(double v);

// b0 × 1000000 + b1 × 65536 + b2 × 256 + b3, traced like a real ("XX " × 4, then the number).
uint32_t decodeControllerInteger(std::span<const uint8_t, 4> b, TraceLog* trace = nullptr);

// An IEEE single, little-endian, as CAN-BUS controllers send it. NaN, magnitudes at or above
// kInvalidValue and non-zero magnitudes of at most 1E-25 give kInvalidValue; zero stays 0.
double decodeIeeeSingle(std::span<const uint8_t, 4> b);

// The channel types 11 and 12 reach the controller over CAN-BUS.
constexpr bool isCanChannel(int channelType) { return channelType > 10; }

// A 4-byte real as the channel delivers it: IEEE on the CAN-BUS types, `ControllerReal`
// (traced) on every serial type.
double decodeChannelReal(std::span<const uint8_t, 4> b, int channelType, TraceLog* trace = nullptr);

// "XX XX XX " — each byte as two upper-case hexadecimal digits followed by a blank.
std::string hexBytes(std::span<const uint8_t> bytes);

} // namespace kv
