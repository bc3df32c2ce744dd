#include "protocol/Frames.h"

#include "protocol/Checksums.h"

namespace kv {

std::optional<std::vector<uint8_t>> traditionalFrame(std::span<const uint8_t> body)
{
    if (body.size() > kMaxTraditionalBody)
        return std::nullopt;
    std::vector<uint8_t> f;
    f.reserve(body.size() + 2);
    f.push_back(uint8_t(body.size()));
    f.insert(f.end(), body.begin(), body.end());
    f.push_back(complementSum8(body));
    return f;
}

std::optional<std::vector<uint8_t>> ft11Frame(std::span<const uint8_t> body, uint8_t address)
{
    if (body.size() > kMaxFt11Body)
        return std::nullopt;
    std::vector<uint8_t> f{uint8_t(body.size() + 2), 0x40, address};
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

std::vector<uint8_t> Ft12Frame::bytes() const
{
    std::vector<uint8_t> all(header);
    all.insert(all.end(), user.begin(), user.end());
    all.insert(all.end(), trailer.begin(), trailer.end());
    return all;
}

std::size_t maxFt12Body(int crcMode)
{
    return crcMode == 1 ? 251 : 253;
}

std::optional<Ft12Frame> ft12Frame(std::span<const uint8_t> body, uint8_t control, uint8_t address,
                                   int crcMode)
{
    if (body.size() > maxFt12Body(crcMode))
        return std::nullopt;
    Ft12Frame f;
    f.user = {control, address};
    f.user.insert(f.user.end(), body.begin(), body.end());
    const bool isShort = body.size() <= kFt12ShortBody;
    if (isShort)
        f.user.resize(2 + kFt12ShortBody, 0);
    if (crcMode == 1 || crcMode == 2) {
        const uint16_t crc = crc16(f.user);
        if (crcMode == 1) {
            f.user.push_back(uint8_t(crc));
            f.user.push_back(uint8_t(crc >> 8));
        } else {
            f.trailer = {uint8_t(crc), uint8_t(crc >> 8)};
        }
    }
    if (crcMode != 2)
        f.trailer = {sum8(f.user), kFt12End};
    if (isShort) {
        f.header = {kFt12Short};
    } else {
        const auto len = uint8_t(f.user.size());
        f.header = {kFt12Long, len, len, kFt12Long};
    }
    return f;
}

} // namespace kv
