#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Request frames of the three serial protocols, built from the protocol-independent body
// (function code first). Each builder refuses a body its length field cannot describe.

namespace kv {

// Traditional: N, the N body bytes, the two's complement of their sum.
constexpr std::size_t kMaxTraditionalBody = 255;
std::optional<std::vector<uint8_t>> traditionalFrame(std::span<const uint8_t> body);

// FT1.1: L = N+2, C = 0x40, A, body; no checksum, no end byte.
constexpr std::size_t kMaxFt11Body = 253;
std::optional<std::vector<uint8_t>> ft11Frame(std::span<const uint8_t> body, uint8_t address);

// FT1.2 goes out in three writes: start, user data (C, A, body and, in CRC mode 1, the CRC),
// and the trailer (KS 0x16, or the CRC in mode 2).
struct Ft12Frame {
    std::vector<uint8_t> header;
    std::vector<uint8_t> user;
    std::vector<uint8_t> trailer;
    std::vector<uint8_t> bytes() const;
};

constexpr uint8_t kFt12Short = 0x10;
constexpr uint8_t kFt12Long = 0x68;
constexpr uint8_t kFt12End = 0x16;
constexpr uint8_t kFt12Ack = 0xA2;   // positive receipt
constexpr uint8_t kFt12Nak = 0xE5;   // negative receipt
constexpr std::size_t kFt12ShortBody = 4;

// Bodies of up to 4 bytes travel in a short frame, padded with zeros; longer ones in a long
// frame whose length byte counts C, A, the body and, in CRC mode 1, the two CRC bytes.
// CRC modes other than 1 and 2 behave as mode 0.
std::size_t maxFt12Body(int crcMode);
std::optional<Ft12Frame> ft12Frame(std::span<const uint8_t> body, uint8_t control, uint8_t address,
                                   int crcMode);

} // namespace kv
