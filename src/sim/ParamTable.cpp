#include "sim/ParamTable.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace kv::sim {

int formatLength(uint8_t format)
{
    static const int len[11] = {2, 2, 4, 2, 128, 2, 8, 4, 4, 4, 128};
    if (format <= 10)
        return len[format];
    if (format == 41 || format == 51)
        return 2;
    return 0;
}

std::string utf8FromCp1251(std::string_view bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        unsigned cp;
        if (c < 0x80)
            cp = c;
        else if (c >= 0xC0)
            cp = 0x410 + (c - 0xC0);
        else if (c == 0xA8)
            cp = 0x401;
        else if (c == 0xB8)
            cp = 0x451;
        else if (c == 0xB9)
            cp = 0x2116;
        else if (c == 0xB0)
            cp = 0xB0;
        else
            cp = '?';
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string cp1251FromUtf8(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        unsigned cp = '?';
        std::size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = (c & 0x1F) << 6 | (s[i + 1] & 0x3F);
            n = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
            cp = (c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
            n = 3;
        }
        i += n;
        if (cp < 0x80)
            out += char(cp);
        else if (cp >= 0x410 && cp <= 0x44F)
            out += char(0xC0 + (cp - 0x410));
        else if (cp == 0x401)
            out += char(0xA8);
        else if (cp == 0x451)
            out += char(0xB8);
        else if (cp == 0x2116)
            out += char(0xB9);
        else if (cp == 0xB0)
            out += char(0xB0);
        else
            out += '?';
    }
    return out;
}

namespace {

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::vector<ParamDef> parseSpravSection(std::string_view fileBytes, int model)
{
    // A reference file is a few kilobytes; anything far bigger is not one.
    constexpr std::size_t kMaxBytes = 4u << 20;
    constexpr std::size_t kMaxParams = 1024;
    if (fileBytes.size() > kMaxBytes)
        fileBytes = fileBytes.substr(0, kMaxBytes);
    const auto lines = splitLines(fileBytes);

    // Section k starts after the first line holding "k=" (searched in order 0..3, each after
    // the previous); a file without "0=" is one section.
    std::vector<std::size_t> starts;
    std::size_t from = 0;
    for (int k = 0; k < 4; ++k) {
        const std::string marker = std::to_string(k) + "=";
        std::size_t found = lines.size();
        for (std::size_t i = from; i < lines.size(); ++i)
            if (lines[i].find(marker) != std::string_view::npos) {
                found = i;
                break;
            }
        if (found == lines.size())
            break;
        starts.push_back(found + 1);
        from = found + 1;
    }
    std::size_t begin = 0, end = lines.size();
    if (!starts.empty()) {
        const std::size_t s = std::size_t(model) < starts.size() && model >= 0 ? std::size_t(model) : 0;
        begin = starts[s];
        end = s + 1 < starts.size() ? starts[s + 1] : lines.size();
    }

    std::vector<ParamDef> out;
    for (std::size_t i = begin; i < end && out.size() < kMaxParams; ++i) {
        const std::string_view line = lines[i];
        const std::size_t semi = line.find(';');
        if (semi == std::string_view::npos)
            continue;   // a group header
        ParamDef d;
        d.name = utf8FromCp1251(line.substr(0, std::min<std::size_t>(semi, 35)));
        uint8_t fields[4] = {0, 0, 0, 0};
        int field = 0;
        for (std::size_t j = semi + 1; j < line.size() && field < 4; ++j) {
            if (line[j] == ';') {
                ++field;
                continue;
            }
            const int h = hexDigit(line[j]);
            if (h >= 0)
                fields[field] = uint8_t(fields[field] << 4 | h);
        }
        d.cls = fields[0];
        d.code = fields[1];
        d.maxIndex = fields[2];
        d.format = fields[3];
        if (formatLength(d.format) == 0)
            continue;
        out.push_back(std::move(d));
    }
    return out;
}

std::optional<std::vector<ParamDef>> loadSprav(const std::string& path, int model)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    auto defs = parseSpravSection(bytes, model);
    if (defs.empty())
        return std::nullopt;
    return defs;
}

std::vector<ParamDef> builtinParams()
{
    // A two-pipe heat-metering point: sensors 0..7 (supply and return alternate), pipelines
    // 0..3, and the controller's common parameters.
    return {
        {"Температура", 0x00, 0x10, 7, 8},
        {"Давление", 0x00, 0x11, 7, 8},
        {"Расход по датчику", 0x00, 0x12, 7, 8},
        {"Тепловая мощность", 0x80, 0x20, 3, 8},
        {"Тепловая энергия", 0x80, 0x21, 3, 8},
        {"Масса теплоносителя", 0x80, 0x22, 3, 8},
        {"Массовый расход", 0x80, 0x23, 3, 8},
        {"Объемный расход", 0x80, 0x24, 3, 8},
        {"Время наработки", 0x80, 0x25, 3, 7},
        {"Разность температур", 0x80, 0x26, 3, 8},
        // The controller's own class: high bytes from 0xC0 on are its archive memory.
        {"Температура наружного воздуха", 0x40, 0x60, 0, 8},
        {"Время работы контроллера", 0x40, 0x61, 0, 7},
        {"Число пусков", 0x40, 0x62, 0, 1},
        {"Наименование объекта", 0x40, 0x20, 0, 10},
    };
}

namespace {

std::string lower(std::string_view utf8)
{
    return utf8FromCp1251([&] {
        std::string s = cp1251FromUtf8(utf8);
        for (char& ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            if (c >= 'A' && c <= 'Z')
                ch = char(c + 32);
            else if (c >= 0xC0 && c <= 0xDF)
                ch = char(c + 32);
            else if (c == 0xA8)
                ch = char(0xB8);
        }
        return s;
    }());
}

bool has(const std::string& s, std::string_view word) { return s.find(word) != std::string::npos; }

constexpr double kAnchor = 45000.0;   // accumulated values count from this day
constexpr double kColdest = 44941.0;  // mid-January: the heating season's peak

// The heating load over the seasons and the passing weather: 1 on the coldest days, -1 on
// the mildest. Heat-point values follow it on top of their swing within the day, so that
// days and months differ as they do in a real installation (and in its archives).
double heatingLoad(double t)
{
    return 0.65 * std::cos(2 * std::numbers::pi * (t - kColdest) / 365.2425)
         + 0.35 * std::sin(2 * std::numbers::pi * (t - kAnchor) / 6.3);
}

} // namespace

std::function<double(double)> plausibleValue(const ParamDef& def, int index)
{
    const std::string n = lower(def.name);
    const double phase = (def.code * 0.37 + index * 1.1);
    // Supply and return are told by the name where it says so, else by the index (sensors
    // of a two-pipe point alternate).
    const bool supply = has(n, "подач") || has(n, "подающ") ? true
                        : has(n, "обрат")                   ? false
                                                            : index % 2 == 0;
    // `load`: how far the value moves with the heating load.
    auto wave = [phase](double base, double amp, double periodHours, double load = 0.0) {
        return [=](double t) {
            return base + amp * std::sin(2 * std::numbers::pi * t * 24.0 / periodHours + phase)
                 + load * heatingLoad(t);
        };
    };
    auto growing = [](double base, double perHour) {
        return [=](double t) { return base + perHour * std::max(0.0, (t - kAnchor) * 24.0); };
    };
    if (has(n, "ток"))
        return wave(12.0 + index % 4, 3.0, 4.0);
    if (has(n, "частот"))
        return wave(500.0 + 20.0 * index, 40.0, 4.0);
    if (has(n, "нижн"))
        return [](double) { return 0.0; };
    if (has(n, "верхн"))
        return [](double) { return 100.0; };
    if (has(n, "холодн"))
        return wave(8.0, 1.5, 24.0, -1.0);
    if (has(n, "импульс"))
        return growing(100000.0 + 1000.0 * index, 3600.0);
    if (has(n, "разност"))
        return wave(27.5, 2.0, 6.0, 3.0);
    if (has(n, "наружн"))
        return wave(-4.0, 5.0, 24.0, -8.0);
    if (has(n, "темп"))
        return supply ? wave(82.0 - index, 4.0, 6.0, 6.0) : wave(54.0 - index, 3.0, 6.0, 3.0);
    if (has(n, "давл"))
        return supply ? wave(0.62, 0.03, 2.0) : wave(0.38, 0.02, 2.0);
    if (has(n, "мощн"))
        return wave(0.85 + 0.1 * index, 0.12, 6.0, 0.2);
    if (has(n, "расход"))
        return wave(12.5 + 2.0 * index, 1.4, 3.0, 1.0);
    if (has(n, "масс") || has(n, "объем"))
        return growing(56789.0 + 1000.0 * index, 12.4);
    if (has(n, "энерг") || has(n, "тепло"))
        return growing(1234.5 + 500.0 * index, 0.85);
    if (has(n, "пуск"))
        return [](double) { return 3.0; };
    if (has(n, "врем") || has(n, "наработ"))
        return growing(8760.0 + 10.0 * index, 1.0);
    const double c = 1.0 + def.code * 0.25 + index;
    return [c](double) { return c; };
}

} // namespace kv::sim
