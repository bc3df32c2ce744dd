#pragma once
#include <cstdint>
#include <span>

// The checksums of the controller's frames.

namespace kv {

// Sum of the bytes modulo 256.
uint8_t sum8(std::span<const uint8_t> bytes);

// Two's complement of sum8: the bytes followed by it sum to 0 modulo 256.
// Used by the traditional request frame and by the CAN adapter's set-up block.
uint8_t complementSum8(std::span<const uint8_t> bytes);

// CRC-16 with the reflected polynomial 0x8408, initial value 0xFFFF, no final XOR
// (the MCRF4XX variant). It goes on the line low byte first, and a block followed by its own
// CRC in that order gives 0, which is how replies are checked.
uint16_t crc16(std::span<const uint8_t> bytes, uint16_t crc = 0xFFFF);

} // namespace kv
