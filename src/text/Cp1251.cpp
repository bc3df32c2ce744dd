#include "text/Cp1251.h"

#include <array>

namespace kv::text {
namespace {

// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char32_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char32_t codeOf(uint8_t b)
{
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return char32_t(0x0410 + (b - 0xC0));
    return kHigh[b - 0x80];
}

// The cp1251 byte of a code point, or -1 when it has none.
int byteOf(char32_t c)
{
    if (c < 0x80)
        return int(c);
    if (c >= 0x0410 && c <= 0x044F)
        return int(0xC0 + (c - 0x0410));
    if (c == 0xFFFD)
        return -1;   // the placeholder of 0x98 stays a placeholder
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == c)
            return int(0x80 + i);
    return -1;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 character at s[i]; advances i. Returns false (and skips one byte) on
// malformed input: bad lead byte, missing continuation, overlong form, surrogate, > U+10FFFF.
bool decodeUtf8(std::string_view s, std::size_t& i, char32_t& c)
{
    const auto b0 = uint8_t(s[i]);
    if (b0 < 0x80) {
        c = b0;
        ++i;
        return true;
    }
    std::size_t n = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) { n = 1; c = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { n = 2; c = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { n = 3; c = b0 & 0x07; min = 0x10000; }
    else { ++i; return false; }
    if (s.size() - i <= n) {   // the sequence is cut off by the end of the text
        ++i;
        return false;
    }
    for (std::size_t k = 1; k <= n; ++k) {
        const auto b = uint8_t(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += n + 1;
    return true;
}

char32_t upperCode(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c >= 0x0430 && c <= 0x044F)
        return c - 0x20;
    if (c >= 0x0450 && c <= 0x045F)
        return c - 0x50;
    if (c == 0x0491)
        return 0x0490;
    return c;
}

} // namespace

std::string fromCp1251(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes)
        appendUtf8(out, codeOf(uint8_t(ch)));
    return out;
}

std::string toCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = 0;
        if (!decodeUtf8(utf8, i, c)) {
            out += '?';
            continue;
        }
        const int b = byteOf(c);
        out += b < 0 ? '?' : char(b);
    }
    return out;
}

std::size_t charCount(std::string_view utf8)
{
    std::size_t n = 0;
    for (char ch : utf8)
        if ((uint8_t(ch) & 0xC0) != 0x80)
            ++n;
    return n;
}

std::string leftChars(std::string_view utf8, std::size_t n)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((uint8_t(utf8[i]) & 0xC0) != 0x80) {
            if (seen == n)
                return std::string(utf8.substr(0, i));
            ++seen;
        }
    }
    return std::string(utf8);
}

std::string asciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 0x20);
    return out;
}

std::string upper(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t start = i;
        char32_t c = 0;
        if (!decodeUtf8(utf8, i, c)) {
            out += utf8[start];   // malformed bytes pass unchanged
            continue;
        }
        appendUtf8(out, upperCode(c));
    }
    return out;
}

std::string upperCp1251(std::string_view bytes)
{
    std::string out(bytes);
    for (char& ch : out) {
        const int b = byteOf(upperCode(codeOf(uint8_t(ch))));
        if (b >= 0)
            ch = char(b);
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return upper(a) == upper(b);
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace kv::text
