#pragma once
// Tests that run the same work over every kind of line.
#include <cstdint>

#include "app/Settings.h"

namespace kv::test {

inline constexpr int kProtocols = 3;      // traditional, FT1.2, FT1.1
inline constexpr int kChannelTypes = 13;  // 0..12

// The settings of one kind of line in one protocol; the modems dial "123" and answer in words
// (a GSM modem cannot register with digit answers).
inline void useLineKind(ChannelSettings& s, int protocol, int channelType)
{
    s.prot = uint8_t(protocol);
    s.channelType = uint8_t(channelType);
    s.phone = "123";
    s.simbol = true;
    s.inimod = "AT V1 E0 S7=60";
}

} // namespace kv::test
