#include "protocol/Checksums.h"

namespace kv {

uint8_t sum8(std::span<const uint8_t> bytes)
{
    unsigned s = 0;
    for (uint8_t b : bytes)
        s += b;
    return uint8_t(s);
}

uint8_t complementSum8(std::span<const uint8_t> bytes)
{
    return uint8_t(0x100 - sum8(bytes));
}

uint16_t crc16(std::span<const uint8_t> bytes, uint16_t crc)
{
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace kv
