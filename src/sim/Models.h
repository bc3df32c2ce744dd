#pragma once
#include <array>
#include <cstdint>

// What tells the controller models 0..3 apart on the wire.

namespace kv::sim {

struct ModelInfo {
    const char* name;
    std::array<uint8_t, 2> version;      // answer at 0x40 0x1E
    std::array<uint8_t, 2> modelReply;   // answer at 0x41 0x1E (model 0: the version again)
    uint16_t canId;                      // identity at 0xF0 0x00 on the CAN side
    int hourlyArchives, dailyArchives, monthlyArchives, intervalArchives;
};

// Model index 0..3; other values give model 0.
const ModelInfo& modelInfo(int model);

} // namespace kv::sim
