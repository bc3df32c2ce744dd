#include "app/IniFile.h"

#include <algorithm>

#include "text/Cp1251.h"
#include "text/Files.h"
#include "text/NumberFormat.h"

namespace kv {
namespace {

using text::trimBlanks;

bool isBlank(std::string_view line)
{
    for (char ch : line)
        if (ch != ' ' && ch != '\t' && ch != '\r')
            return false;
    return true;
}

// The name of a section header line, or false when the line is no header.
bool headerName(std::string_view line, std::string_view& name)
{
    std::string_view t = trimBlanks(line);
    if (t.empty() || t.front() != '[')
        return false;
    t.remove_prefix(1);
    const std::size_t close = t.find(']');
    name = trimBlanks(close == std::string_view::npos ? t : t.substr(0, close));
    return true;
}

// Key and raw value of a key line; false for blank lines, comments and lines without "=".
bool keyLine(std::string_view line, std::string_view& key, std::string_view& value)
{
    const std::string_view t = trimBlanks(line);
    if (t.empty() || t.front() == ';')
        return false;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trimBlanks(line.substr(0, eq));
    value = line.substr(eq + 1);
    return !key.empty();
}

std::string_view cleanValue(std::string_view raw)
{
    std::string_view v = trimBlanks(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v.remove_prefix(1);
        v.remove_suffix(1);
    }
    return v;
}

std::string matchKey(std::string_view cp1251Name)
{
    return text::upperCp1251(trimBlanks(cp1251Name));
}

std::string matchKeyUtf8(const std::string& utf8Name)
{
    return matchKey(text::toCp1251(utf8Name));
}

// Line breaks (and optionally other characters) replaced by blanks.
std::string sanitize(std::string s, const char* alsoBad = "")
{
    for (char& ch : s)
        if (ch == '\r' || ch == '\n' || (ch != '\0' && std::string_view(alsoBad).find(ch) != std::string_view::npos))
            ch = ' ';
    return s;
}

// Index of the first line of `lines` that is the key `match`, or -1.
long findKey(const std::vector<std::string>& lines, const std::string& match)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view k, v;
        if (keyLine(lines[i], k, v) && text::upperCp1251(k) == match)
            return long(i);
    }
    return -1;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

bool IniFile::load()
{
    std::string bytes;
    if (!text::readFileBytes(path_, bytes)) {
        parse({});
        return false;
    }
    parse(bytes);
    return true;
}

bool IniFile::save()
{
    error_.clear();
    if (!text::writeFileAtomic(path_, serialize(), &error_))
        return false;
    return true;
}

void IniFile::parse(const std::string& bytes)
{
    preamble_.clear();
    sections_.clear();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        const bool last = end == std::string::npos;
        if (last)
            end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = last ? bytes.size() : end + 1;

        std::string_view name;
        if (headerName(line, name)) {
            sections_.push_back({line, matchKey(name), {}});
        } else if (sections_.empty()) {
            preamble_.push_back(std::move(line));
        } else {
            sections_.back().lines.push_back(std::move(line));
        }
    }
}

std::string IniFile::serialize() const
{
    std::string out;
    auto put = [&out](const std::string& line) {
        out += line;
        out += "\r\n";
    };
    for (const auto& line : preamble_)
        put(line);
    for (const auto& s : sections_) {
        put(s.header);
        for (const auto& line : s.lines)
            put(line);
    }
    return out;
}

IniFile::Section* IniFile::find(const std::string& name)
{
    return findMatch(matchKeyUtf8(name));
}

IniFile::Section* IniFile::findMatch(const std::string& m)
{
    for (auto& s : sections_)
        if (s.match == m)
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::find(const std::string& name) const
{
    return const_cast<IniFile*>(this)->find(name);
}

std::vector<std::string> IniFile::sections() const
{
    std::vector<std::string> out;
    std::vector<std::string> seen;
    for (const auto& s : sections_) {
        if (std::find(seen.begin(), seen.end(), s.match) != seen.end())
            continue;
        seen.push_back(s.match);
        std::string_view name;
        headerName(s.header, name);
        out.push_back(text::fromCp1251(name));
    }
    return out;
}

bool IniFile::hasSection(const std::string& section) const
{
    return find(section) != nullptr;
}

std::vector<std::string> IniFile::sectionLines(const std::string& section) const
{
    std::vector<std::string> out;
    if (const Section* s = find(section)) {
        for (const auto& line : s->lines) {
            const std::string_view t = trimBlanks(line);
            if (isBlank(line) || t.front() == ';')
                continue;
            out.push_back(text::fromCp1251(line));
        }
    }
    return out;
}

std::vector<std::string> IniFile::keys(const std::string& section) const
{
    std::vector<std::string> out;
    std::vector<std::string> seen;
    if (const Section* s = find(section)) {
        for (const auto& line : s->lines) {
            std::string_view k, v;
            if (!keyLine(line, k, v))
                continue;
            std::string m = text::upperCp1251(k);
            if (std::find(seen.begin(), seen.end(), m) != seen.end())
                continue;
            seen.push_back(std::move(m));
            out.push_back(text::fromCp1251(k));
        }
    }
    return out;
}

bool IniFile::hasKey(const std::string& section, const std::string& key) const
{
    const Section* s = find(section);
    return s && findKey(s->lines, matchKeyUtf8(key)) >= 0;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const
{
    const Section* s = find(section);
    if (!s)
        return def;
    const long i = findKey(s->lines, matchKeyUtf8(key));
    if (i < 0)
        return def;
    std::string_view k, v;
    keyLine(s->lines[std::size_t(i)], k, v);
    return text::fromCp1251(cleanValue(v));
}

long IniFile::readInt(const std::string& section, const std::string& key, long def) const
{
    if (!hasKey(section, key))
        return def;
    long v = 0;
    return text::parseInteger(readString(section, key), v) ? v : def;
}

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string secName = sanitize(text::toCp1251(section), "]");
    const std::string keyName = std::string(trimBlanks(sanitize(text::toCp1251(key), "=")));
    const std::string val = sanitize(text::toCp1251(value));
    if (keyName.empty())
        return;

    Section* s = findMatch(matchKey(secName));
    if (!s) {
        sections_.push_back({"[" + std::string(trimBlanks(secName)) + "]", matchKey(secName), {}});
        s = &sections_.back();
    }
    const long i = findKey(s->lines, matchKey(keyName));
    if (i >= 0) {
        std::string_view k, v;
        std::string& line = s->lines[std::size_t(i)];
        keyLine(line, k, v);
        line = std::string(k) + "=" + val;
        return;
    }
    std::size_t at = s->lines.size();
    while (at > 0 && isBlank(s->lines[at - 1]))
        --at;
    s->lines.insert(s->lines.begin() + long(at), keyName + "=" + val);
}

void IniFile::writeInt(const std::string& section, const std::string& key, long value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::eraseSection(const std::string& section)
{
    const std::string m = matchKeyUtf8(section);
    std::erase_if(sections_, [&m](const Section& s) { return s.match == m; });
}

void IniFile::clearSection(const std::string& section)
{
    const std::string m = matchKeyUtf8(section);
    std::size_t first = sections_.size();
    for (std::size_t i = sections_.size(); i-- > 0;) {
        if (sections_[i].match != m)
            continue;
        if (first < sections_.size())
            sections_.erase(sections_.begin() + long(first));   // a later duplicate
        first = i;
    }
    if (first == sections_.size())
        return;
    // Keep the blank lines that separate it from the next section.
    auto& lines = sections_[first].lines;
    std::size_t tail = lines.size();
    while (tail > 0 && isBlank(lines[tail - 1]))
        --tail;
    lines.erase(lines.begin(), lines.begin() + long(tail));
}

void IniFile::deleteKey(const std::string& section, const std::string& key)
{
    Section* s = find(section);
    if (!s)
        return;
    const std::string m = matchKeyUtf8(key);
    std::erase_if(s->lines, [&m](const std::string& line) {
        std::string_view k, v;
        return keyLine(line, k, v) && text::upperCp1251(k) == m;
    });
}

} // namespace kv
