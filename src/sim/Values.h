#pragma once
#include <array>
#include <cstdint>
#include <span>

// The controller's own number and date forms, as the controller keeps and sends them.

namespace kv::sim {

// The value the controller answers when it holds no valid value.
inline constexpr double kInvalidValue = 3.0e38;

// The controller's 4-byte real: exponent byte, then the sign and 23 mantissa bits.
std::array<uint8_t, 4> encodeControllerReal(double v);
double decodeControllerReal(std::span<const uint8_t> b);

// IEEE single precision, little-endian, as the controller sends values over CAN-BUS.
std::array<uint8_t, 4> encodeIeeeLE(double v);
double decodeIeeeLE(std::span<const uint8_t> b);

// The controller integer: b0 weighs one million, then b1 b2 b3 as a 24-bit number.
std::array<uint8_t, 4> encodeControllerInt(uint32_t v);

uint8_t toBcd(int v);                 // 0..99
int fromBcd(uint8_t b);               // -1 when a nibble is not a decimal digit

uint8_t sum8(std::span<const uint8_t> bytes);
// CRC16 with the reflected polynomial 0x8408 and the start value 0xFFFF, no final inversion.
uint16_t crc16(std::span<const uint8_t> bytes, uint16_t crc = 0xFFFF);

// Calendar on day counts since 1899-12-30.
struct CivilTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};
long daysFromCivil(int y, int m, int d);
CivilTime civilFromDateTime(double dateTime);
double dateTimeFromCivil(const CivilTime& t);
int daysInMonth(int y, int m);
bool validDate(int y, int m, int d);
int weekday(double dateTime);   // 1 Monday .. 7 Sunday

} // namespace kv::sim
