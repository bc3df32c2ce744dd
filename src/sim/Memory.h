#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The controller's parameter memory, addressed by the two-byte controller address
// (high byte = class and index, low byte = number). Every parameter is a cell that knows its
// value length and how it reads and writes on each face: the serial protocols see the
// controller's own number forms, the CAN-BUS side sees IEEE reals and the two bytes of a
// pair in the opposite order.
//
// New kinds of memory (archives, events, extremes, ...) are added either as cells at fixed
// addresses or as resolvers that answer a whole address range on demand.

namespace kv::sim {

enum class Face : uint8_t { Serial, Can };

struct Access {
    Face face = Face::Serial;
    double dateTime = 0;   // the controller's own date-time at the moment of access
    int64_t atUs = 0;      // the moment on the line's microsecond count
};

struct Cell {
    using Reader = std::function<std::vector<uint8_t>(const Access&)>;
    // Returns false when the controller refuses the value.
    using Writer = std::function<bool(std::span<const uint8_t>, const Access&)>;

    int length = 0;               // value length on the serial face; the longest write taken
    bool variableLength = false;  // writes may be shorter than `length` (texts, descriptors)
    Reader read;
    Writer write;                 // empty: read-only

    // A plain byte image, the same on both faces.
    static Cell bytes(std::vector<uint8_t> init, bool writable = true, bool variableLength = false);
    // Two separate bytes (hour and minute, day and month, ...): swapped on the CAN face.
    static Cell pair(uint8_t first, uint8_t second, bool writable = true);
    // A real that follows `gen` (controller date-time -> value) until a write fixes it.
    static Cell real(std::function<double(double)> gen, bool writable = true);
    // A controller integer that follows `gen` until a write fixes it.
    static Cell integer(std::function<double(double)> gen, bool writable = true);
    // A two-byte number, high byte first on the serial face.
    static Cell word(std::function<double(double)> gen, bool writable = true);
};

class ParamMemory {
public:
    using Resolver = std::function<std::optional<Cell>(uint16_t address, Face face)>;

    static constexpr uint16_t addr(uint8_t hi, uint8_t lo) { return uint16_t(hi << 8 | lo); }

    void define(uint16_t address, Cell cell) { cells_[address] = std::move(cell); }
    // Addresses that exist only on the CAN face (the CAN side's clock and identity).
    void defineCan(uint16_t address, Cell cell) { canCells_[address] = std::move(cell); }
    void addResolver(Resolver r) { resolvers_.push_back(std::move(r)); }
    bool has(uint16_t address) const { return cells_.count(address) != 0; }

    std::optional<Cell> find(uint16_t address, Face face) const;

private:
    std::map<uint16_t, Cell> cells_;
    std::map<uint16_t, Cell> canCells_;
    std::vector<Resolver> resolvers_;
};

} // namespace kv::sim
