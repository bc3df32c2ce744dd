#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The parameters a simulated controller offers: taken from a reference file (Sprav.txt) when
// one is given, else from a built-in table of a heat-metering point. Each parameter gets a
// value that looks like a real installation and moves with time.

namespace kv::sim {

struct ParamDef {
    std::string name;      // UTF-8
    uint8_t cls = 0;       // class bits of the address high byte
    uint8_t code = 0;      // address low byte
    uint8_t maxIndex = 0;  // highest index added to the high byte
    uint8_t format = 0;    // value format 0..10
};

// Value length of a format (2, 4, 8 or 128 bytes); 0 for a format the controller lacks.
int formatLength(uint8_t format);

// The parameter lines of one model's section of a reference file (cp1251 text).
std::vector<ParamDef> parseSpravSection(std::string_view fileBytes, int model);
// Reads and parses a reference file; nullopt when it cannot be read or holds no parameter.
std::optional<std::vector<ParamDef>> loadSprav(const std::string& path, int model);

std::vector<ParamDef> builtinParams();

// A plausible value over the controller's date-time for parameter `def` at `index`.
std::function<double(double)> plausibleValue(const ParamDef& def, int index);

// cp1251 to UTF-8 (the sim's own small converter for parameter names).
std::string utf8FromCp1251(std::string_view bytes);
std::string cp1251FromUtf8(std::string_view utf8);

} // namespace kv::sim
