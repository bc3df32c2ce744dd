#include "sim/Models.h"

namespace kv::sim {

namespace {
// Models 1..3 answer their number and its complement at 0x41 0x1E; model 0 keeps no such
// cell and answers the version there too. Only model 3 sits on a CAN bus; the identities of
// the others are old-style numbers outside the CAN range.
const ModelInfo kModels[4] = {
    {"ЗЕНТАР-10", {0x05, 0x0A}, {0x05, 0x0A}, 0x000A, 32, 64, 64, 13},
    {"ЗЕНТАР-10М", {0x06, 0x02}, {0x01, 0xFE}, 0x000B, 32, 32, 32, 13},
    {"ЗЕНТАР-17", {0x07, 0x01}, {0x02, 0xFD}, 0x000C, 32, 64, 63, 13},
    {"ЗЕНТАР-17 CAN", {0x08, 0x03}, {0x03, 0xFC}, 0x1713, 32, 64, 63, 12},
};
} // namespace

const ModelInfo& modelInfo(int model)
{
    return kModels[(model >= 0 && model <= 3) ? model : 0];
}

} // namespace kv::sim
