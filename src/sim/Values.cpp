#include "sim/Values.h"

#include <cmath>
#include <cstring>

namespace kv::sim {

std::array<uint8_t, 4> encodeControllerReal(double v)
{
    if (v == 0.0 || std::isnan(v))
        return {0x80, 0, 0, 0};
    double q = std::fabs(v);
    if (q >= kInvalidValue)
        return {0xFF, 0xFF, 0xFF, 0xFF};
    int exp;
    double weight;
    if (q >= 1.0) {
        exp = 129;
        weight = 1.0;
        while (q >= 2.0 * weight && exp < 255) {
            weight *= 2.0;
            ++exp;
        }
    } else {
        exp = 128;
        weight = 0.5;
        while (q < weight && exp > 2) {
            weight /= 2.0;
            --exp;
        }
    }
    uint32_t mant = 0;
    for (int bit = 22; bit >= 0; --bit) {
        if (q >= weight) {
            mant |= 1u << bit;
            q -= weight;
        }
        weight /= 2.0;
    }
    std::array<uint8_t, 4> b{uint8_t(exp), uint8_t((mant >> 16) & 0x7F), uint8_t(mant >> 8),
                             uint8_t(mant)};
    if (v < 0)
        b[1] |= 0x80;
    return b;
}

double decodeControllerReal(std::span<const uint8_t> b)
{
    if (b.size() < 4)
        return 0.0;
    if (b[0] == 0xFF && b[1] == 0xFF && b[2] == 0xFF && b[3] == 0xFF)
        return kInvalidValue;
    if (b[0] < 2)
        return 0.0;
    if (b[0] >= 160)
        return kInvalidValue;
    const uint32_t mant = (uint32_t(b[1] & 0x7F) << 16) | (uint32_t(b[2]) << 8) | b[3];
    double v = 0.0;
    for (int bit = 22; bit >= 0; --bit)
        if (mant & (1u << bit))
            v += std::ldexp(1.0, int(b[0]) - 129 - (22 - bit));
    if (b[3] & 1)
        v += std::ldexp(1.0, int(b[0]) - 152);
    return (b[1] & 0x80) ? -v : v;
}

std::array<uint8_t, 4> encodeIeeeLE(double v)
{
    const float f = float(v);
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

double decodeIeeeLE(std::span<const uint8_t> b)
{
    if (b.size() < 4)
        return 0.0;
    const uint32_t u = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

std::array<uint8_t, 4> encodeControllerInt(uint32_t v)
{
    const uint32_t millions = v / 1000000u;
    const uint32_t rest = v % 1000000u;
    return {uint8_t(millions > 255 ? 255 : millions), uint8_t(rest >> 16), uint8_t(rest >> 8),
            uint8_t(rest)};
}

uint8_t toBcd(int v)
{
    if (v < 0)
        v = 0;
    v %= 100;
    return uint8_t((v / 10) << 4 | (v % 10));
}

int fromBcd(uint8_t b)
{
    if ((b >> 4) > 9 || (b & 0x0F) > 9)
        return -1;
    return (b >> 4) * 10 + (b & 0x0F);
}

uint8_t sum8(std::span<const uint8_t> bytes)
{
    uint8_t s = 0;
    for (uint8_t b : bytes)
        s = uint8_t(s + b);
    return s;
}

uint16_t crc16(std::span<const uint8_t> bytes, uint16_t crc)
{
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0x8408) : uint16_t(crc >> 1);
    }
    return crc;
}

long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;   // 1970-01-01 is day 25569
}

CivilTime civilFromDateTime(double dateTime)
{
    // Round to whole seconds first so 23:59:59.9996 does not show as 23:59:59 of a day
    // that has already ended.
    const long long secs = std::llround(dateTime * 86400.0);
    long long days = secs / 86400;
    long long sod = secs % 86400;
    if (sod < 0) {
        sod += 86400;
        --days;
    }
    long z = long(days) - 25569 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = int(doy - (153 * mp + 2) / 5 + 1);
    t.month = int(mp < 10 ? mp + 3 : mp - 9);
    t.year = int(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = int(sod / 3600);
    t.minute = int(sod / 60 % 60);
    t.second = int(sod % 60);
    return t;
}

double dateTimeFromCivil(const CivilTime& t)
{
    return double(daysFromCivil(t.year, t.month, t.day))
           + (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
}

int daysInMonth(int y, int m)
{
    static const int len[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12)
        return 0;
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return len[m - 1];
}

bool validDate(int y, int m, int d)
{
    return y >= 1900 && y <= 2999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

int weekday(double dateTime)
{
    // Day 2 (1900-01-01) was a Monday.
    const long days = long(std::floor(dateTime));
    const long r = ((days - 2) % 7 + 7) % 7;
    return int(r) + 1;
}

} // namespace kv::sim
