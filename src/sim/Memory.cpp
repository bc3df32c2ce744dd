#include "sim/Memory.h"

#include <algorithm>
#include <cmath>

#include "sim/Values.h"

namespace kv::sim {

Cell Cell::bytes(std::vector<uint8_t> init, bool writable, bool variableLength)
{
    auto store = std::make_shared<std::vector<uint8_t>>(std::move(init));
    Cell c;
    c.length = int(store->size());
    c.variableLength = variableLength;
    c.read = [store](const Access&) { return *store; };
    if (writable)
        c.write = [store](std::span<const uint8_t> v, const Access&) {
            std::copy(v.begin(), v.end(), store->begin());
            return true;
        };
    return c;
}

Cell Cell::pair(uint8_t first, uint8_t second, bool writable)
{
    auto store = std::make_shared<std::array<uint8_t, 2>>(std::array<uint8_t, 2>{first, second});
    Cell c;
    c.length = 2;
    c.read = [store](const Access& a) {
        if (a.face == Face::Can)
            return std::vector<uint8_t>{(*store)[1], (*store)[0]};
        return std::vector<uint8_t>{(*store)[0], (*store)[1]};
    };
    if (writable)
        c.write = [store](std::span<const uint8_t> v, const Access& a) {
            if (v.size() != 2)
                return false;
            *store = a.face == Face::Can ? std::array<uint8_t, 2>{v[1], v[0]}
                                         : std::array<uint8_t, 2>{v[0], v[1]};
            return true;
        };
    return c;
}

namespace {

struct Varying {
    std::function<double(double)> gen;
    std::optional<double> fixed;
    double at(double t) const { return fixed ? *fixed : (gen ? gen(t) : 0.0); }
};

} // namespace

Cell Cell::real(std::function<double(double)> gen, bool writable)
{
    auto v = std::make_shared<Varying>(Varying{std::move(gen), std::nullopt});
    Cell c;
    c.length = 4;
    c.read = [v](const Access& a) {
        const double x = v->at(a.dateTime);
        const auto b = a.face == Face::Can ? encodeIeeeLE(x) : encodeControllerReal(x);
        return std::vector<uint8_t>(b.begin(), b.end());
    };
    if (writable)
        c.write = [v](std::span<const uint8_t> b, const Access& a) {
            if (b.size() != 4)
                return false;
            v->fixed = a.face == Face::Can ? decodeIeeeLE(b) : decodeControllerReal(b);
            return true;
        };
    return c;
}

Cell Cell::integer(std::function<double(double)> gen, bool writable)
{
    auto v = std::make_shared<Varying>(Varying{std::move(gen), std::nullopt});
    Cell c;
    c.length = 4;
    c.read = [v](const Access& a) {
        const double x = std::clamp(std::floor(v->at(a.dateTime)), 0.0, 255999999.0);
        const auto b = encodeControllerInt(uint32_t(x));
        return std::vector<uint8_t>(b.begin(), b.end());
    };
    if (writable)
        c.write = [v](std::span<const uint8_t> b, const Access&) {
            if (b.size() != 4)
                return false;
            v->fixed = b[0] * 1000000.0 + b[1] * 65536.0 + b[2] * 256.0 + b[3];
            return true;
        };
    return c;
}

Cell Cell::word(std::function<double(double)> gen, bool writable)
{
    auto v = std::make_shared<Varying>(Varying{std::move(gen), std::nullopt});
    Cell c;
    c.length = 2;
    c.read = [v](const Access& a) {
        const auto x = uint16_t(std::clamp(std::lround(v->at(a.dateTime)), 0L, 65535L));
        if (a.face == Face::Can)
            return std::vector<uint8_t>{uint8_t(x), uint8_t(x >> 8)};
        return std::vector<uint8_t>{uint8_t(x >> 8), uint8_t(x)};
    };
    if (writable)
        c.write = [v](std::span<const uint8_t> b, const Access& a) {
            if (b.size() != 2)
                return false;
            v->fixed = a.face == Face::Can ? b[1] * 256.0 + b[0] : b[0] * 256.0 + b[1];
            return true;
        };
    return c;
}

std::optional<Cell> ParamMemory::find(uint16_t address, Face face) const
{
    if (face == Face::Can) {
        if (auto it = canCells_.find(address); it != canCells_.end())
            return it->second;
    }
    if (auto it = cells_.find(address); it != cells_.end())
        return it->second;
    for (const auto& r : resolvers_)
        if (auto c = r(address, face))
            return c;
    return std::nullopt;
}

} // namespace kv::sim
