#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Names in binary files: one length byte, then up to `capacity` cp1251 characters;
// the bytes after the text have no meaning. A field occupies capacity + 1 bytes.

namespace kv::text {

// Reads the field at `field` (capacity + 1 bytes available). A length byte above the
// capacity is clamped to it, so a damaged file can never make us read past the field.
std::string readShortString(std::span<const uint8_t> field, std::size_t capacity);
// Writes `utf8` into the field, cut to `capacity` characters; unused bytes are zeroed.
void writeShortString(std::span<uint8_t> field, std::size_t capacity, std::string_view utf8);

} // namespace kv::text
