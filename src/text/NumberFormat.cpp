#include "text/NumberFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/Cp1251.h"

namespace kv::text {

DecimalSeparators DecimalSeparators::forSystem(char systemSeparator)
{
    if (systemSeparator == '.')
        return {'.', ','};
    return {',', '.'};
}

namespace {

// Copies literal text of a format, turning "%%" into "%". False on a lone '%'.
bool appendLiteral(std::string& out, std::string_view lit)
{
    for (std::size_t i = 0; i < lit.size(); ++i) {
        if (lit[i] == '%') {
            if (i + 1 >= lit.size() || lit[i + 1] != '%')
                return false;
            ++i;
        }
        out += lit[i];
    }
    return true;
}

} // namespace

std::string formatReal(const char* printfFormat, double v, char decimal)
{
    if (!printfFormat)
        return {};
    const std::string_view fmt(printfFormat);
    // Locate the one conversion.
    std::size_t start = std::string_view::npos;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            ++i;
            continue;
        }
        start = i;
        break;
    }
    if (start == std::string_view::npos)
        return {};
    std::size_t j = start + 1;
    while (j < fmt.size() && std::strchr("-+ #0", fmt[j]))
        ++j;
    std::size_t digits = 0;
    while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9' && digits < 3)
        ++j, ++digits;
    if (j < fmt.size() && fmt[j] == '.') {
        ++j;
        digits = 0;
        while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9' && digits < 2)
            ++j, ++digits;
    }
    if (j >= fmt.size() || !std::strchr("fFeEgG", fmt[j]))
        return {};
    const std::string spec(fmt.substr(start, j - start + 1));

    std::string out;
    if (!appendLiteral(out, fmt.substr(0, start)))
        return {};
    const int n = std::snprintf(nullptr, 0, spec.c_str(), v);
    if (n < 0)
        return {};
    std::string number(std::size_t(n) + 1, '\0');
    std::snprintf(number.data(), number.size(), spec.c_str(), v);
    number.resize(std::size_t(n));
    for (char& ch : number)
        if (ch == '.')
            ch = decimal;
    out += number;
    if (!appendLiteral(out, fmt.substr(j + 1)))
        return {};
    return out;
}

std::string padLeft(std::string_view utf8, std::size_t width)
{
    const std::size_t n = charCount(utf8);
    std::string out;
    if (n < width)
        out.assign(width - n, ' ');
    out += utf8;
    return out;
}

std::string padRight(std::string_view utf8, std::size_t width)
{
    const std::size_t n = charCount(utf8);
    std::string out(utf8);
    if (n < width)
        out.append(width - n, ' ');
    return out;
}

bool parseReal(std::string_view typed, const DecimalSeparators& seps, double& out)
{
    std::string s(trimBlanks(typed));
    for (char& ch : s) {
        if (ch == seps.toReplace || ch == seps.inUse)
            ch = '.';
    }
    std::string_view body(s);
    bool negative = false;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    // Only digits, one point and an exponent: no "inf", "nan" or hexadecimal floats.
    if (body.empty() || !((body.front() >= '0' && body.front() <= '9') || body.front() == '.'))
        return false;
    for (char ch : body)
        if (!((ch >= '0' && ch <= '9') || ch == '.' || ch == 'e' || ch == 'E' || ch == '+' || ch == '-'))
            return false;
    double v = 0;
    const auto r = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != body.data() + body.size() || !std::isfinite(v))
        return false;
    out = negative ? -v : v;
    return true;
}

bool parseInteger(std::string_view text, long& out)
{
    std::string_view s = trimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    uint64_t v = 0;
    for (char ch : s) {
        int d = -1;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        else if (base == 16 && ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        if (d < 0)
            return false;
        v = v * uint64_t(base) + uint64_t(d);
        if (v > 0xFFFFFFFFull)
            return false;
    }
    int64_t r = 0;
    if (base == 16) {
        r = int64_t(int32_t(uint32_t(v)));
    } else {
        if (v > (negative ? 0x80000000ull : 0x7FFFFFFFull))
            return false;
        r = int64_t(v);
    }
    // A negated hexadecimal word wraps within 32 bits as well.
    out = long(int32_t(uint32_t(uint64_t(negative ? -r : r))));
    return true;
}

} // namespace kv::text
