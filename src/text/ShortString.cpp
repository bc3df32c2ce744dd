#include "text/ShortString.h"

#include <algorithm>

#include "text/Cp1251.h"

namespace kv::text {

std::string readShortString(std::span<const uint8_t> field, std::size_t capacity)
{
    if (field.empty())
        return {};
    std::size_t len = field[0];
    len = std::min({len, capacity, field.size() - 1});
    return fromCp1251(std::string_view(reinterpret_cast<const char*>(field.data() + 1), len));
}

void writeShortString(std::span<uint8_t> field, std::size_t capacity, std::string_view utf8)
{
    if (field.empty())
        return;
    const std::size_t room = std::min({capacity, field.size() - 1, std::size_t(255)});
    std::string bytes = toCp1251(utf8);
    if (bytes.size() > room)
        bytes.resize(room);
    const std::size_t used = capacity >= field.size() ? field.size() : capacity + 1;
    std::fill(field.begin(), field.begin() + std::ptrdiff_t(used), uint8_t(0));
    field[0] = uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), field.begin() + 1);
}

} // namespace kv::text
