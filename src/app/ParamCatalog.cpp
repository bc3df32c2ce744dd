#include "app/ParamCatalog.h"

#include "text/Cp1251.h"
#include "text/Files.h"

namespace kv {

// ---- ArchiveCounts ----

int ArchiveCounts::count(int kind) const
{
    switch (kind) {
    case 0: return hourly;
    case 1: return daily;
    case 2: return monthly;
    case 3: return interval;
    default: return 0;
    }
}

void ArchiveCounts::applyModel(int model)
{
    switch (model) {
    case 0: daily = 64; monthly = 64; break;
    case 1: daily = 32; monthly = 32; break;
    case 2: daily = 64; monthly = 63; interval = 13; break;
    case 3: daily = 64; monthly = 63; interval = 12; break;
    default: break;
    }
}

// ---- ReferenceFile ----

void ReferenceFile::clear()
{
    lines_.clear();
    sections_ = {};
    sectionCount_ = 0;
}

ReferenceLoad ReferenceFile::load(const std::string& workFolder)
{
    clear();
    const std::string path = text::resolveInFolder(workFolder, kFileName);
    if (!text::fileExists(path))
        return ReferenceLoad::MissingOrEmpty;
    std::string bytes;
    if (!text::readFileBytes(path, bytes))
        return ReferenceLoad::ReadError;
    parse(bytes);
    return empty() ? ReferenceLoad::MissingOrEmpty : ReferenceLoad::Loaded;
}

void ReferenceFile::parse(std::string_view bytes)
{
    clear();
    const std::string all = text::fromCp1251(bytes);
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string::npos)
            end = all.size();
        std::string line = all.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (text::trimBlanks(line).empty())
            continue;
        lines_.push_back(std::move(line));
    }
    if (lines_.empty())
        return;

    // Markers are searched in order, each after the one before it.
    std::size_t from = 0;
    for (int k = 0; k < 4; ++k) {
        const std::string marker = std::to_string(k) + "=";
        std::size_t at = from;
        while (at < lines_.size() && lines_[at].find(marker) == std::string::npos)
            ++at;
        if (at >= lines_.size())
            break;
        if (k > 0)
            sections_[std::size_t(k - 1)].end = at + 1;   // the marker line closes the section before
        sections_[std::size_t(k)] = {at + 1, lines_.size()};
        sectionCount_ = k + 1;
        from = at + 1;
    }
    if (sectionCount_ == 0) {
        sections_[0] = {0, lines_.size()};
        sectionCount_ = 1;
    }
}

ReferenceFile::Bounds ReferenceFile::section(int model) const
{
    if (sectionCount_ == 0)
        return {};
    if (model < 0 || model >= sectionCount_)
        model = 0;
    return sections_[std::size_t(model)];
}

// ---- Entries ----

ParamCatalogEntry parseCatalogLine(std::string_view line)
{
    ParamCatalogEntry e;
    const std::size_t semi = line.find(';');
    if (semi == std::string_view::npos) {
        e.name = text::leftChars(line, 35);
        e.format = ParamCatalogEntry::kHeaderFormat;
        e.header = true;
        return e;
    }
    e.name = text::leftChars(line.substr(0, semi), 35);
    std::array<uint8_t, 4> field{};
    std::size_t f = 0;
    for (char ch : line.substr(semi + 1)) {
        if (ch == ';') {
            ++f;
            continue;
        }
        int d = -1;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        if (d < 0 || f >= field.size())
            continue;
        field[f] = uint8_t((field[f] << 4) | d);
    }
    e.cls = field[0];
    e.code = field[1];
    e.maxIndex = field[2];
    e.format = field[3];
    return e;
}

// ---- ParamCatalog ----

void ParamCatalog::clear()
{
    entries_.clear();
    headers_.clear();
}

void ParamCatalog::build(const ReferenceFile& file, int model, ArchiveCounts* counts)
{
    clear();
    const auto b = file.section(model);
    const auto& lines = file.lines();
    for (std::size_t i = b.begin; i < b.end && i < lines.size(); ++i) {
        entries_.push_back(parseCatalogLine(lines[i]));
        if (entries_.back().header)
            headers_.push_back(entries_.size() - 1);
    }
    if (counts)
        applySpecialOverrides(*counts);
}

std::optional<std::size_t> ParamCatalog::find(uint8_t classIndexByte, uint8_t code) const
{
    const uint8_t cls = classIndexByte & 0xC0;
    for (std::size_t g = 0; g + 1 < headers_.size(); ++g) {
        for (std::size_t i = headers_[g] + 1; i < headers_[g + 1]; ++i) {
            const auto& e = entries_[i];
            if (e.cls == cls && e.code == code)
                return i;
        }
    }
    return std::nullopt;
}

std::optional<uint8_t> ParamCatalog::findFormat(uint8_t classIndexByte, uint8_t code) const
{
    if (const auto i = find(classIndexByte, code))
        return entries_[*i].format;
    return std::nullopt;
}

std::optional<uint8_t> ParamCatalog::findFormat(std::span<const uint8_t> paramCode) const
{
    if (paramCode.size() < 2)
        return std::nullopt;
    return findFormat(paramCode[0], paramCode[1]);
}

std::vector<ReferenceGroup> ParamCatalog::referenceGroups() const
{
    std::vector<ReferenceGroup> out;
    for (std::size_t g = 0; g + 1 < headers_.size(); ++g) {
        ReferenceGroup group;
        group.header = headers_[g];
        group.name = entries_[headers_[g]].name;
        for (std::size_t i = headers_[g] + 1; i < headers_[g + 1]; ++i) {
            const auto& e = entries_[i];
            if (e.isSpecial() && (e.code == 0x50 || e.code == 0x51))
                continue;
            group.entries.push_back(i);
        }
        out.push_back(std::move(group));
    }
    return out;
}

void ParamCatalog::applySpecialOverrides(ArchiveCounts& counts) const
{
    for (std::size_t g = 0; g < headers_.size(); ++g) {
        const std::size_t first = headers_[g] + 1;
        const std::size_t end = g + 1 < headers_.size() ? headers_[g + 1] : entries_.size();
        if (first >= end || !entries_[first].isSpecial())
            continue;
        for (std::size_t i = first; i < end; ++i) {
            const auto& e = entries_[i];
            if (!e.isSpecial())
                continue;
            const int n = e.maxIndex + 1;
            if (e.code == 10)
                counts.hourly = n;
            else if (e.code == 11)
                counts.daily = n;
            else if (e.code == 12)
                counts.monthly = n;
        }
    }
}

} // namespace kv
