#include "protocol/ControllerReal.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace kv {

namespace {

constexpr int kMaxExponentByte = 255;
constexpr int kMinExponentByte = 2;   // below it the controller reads 0

std::string decimalText(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

void traceValue(TraceLog* trace, std::span<const uint8_t, 4> b, const std::string& number) {
    if (trace)
        trace->debugLog(hexBytes(b) + number);
}

} // namespace

std::string hexBytes(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 3);
    for (uint8_t c : bytes) {
        s += kDigits[c >> 4];
        s += kDigits[c & 0x0F];
        s += ' ';
    }
    return s;
}

double decodeControllerReal(std::span<const uint8_t, 4> b, TraceLog* trace) {
    if (b[0] == 0xFF && b[1] == 0xFF && b[2] == 0xFF && b[3] == 0xFF)
        return kInvalidValue;
    if (b[0] < kMinExponentByte)
        return 0.0;
    if (b[0] >= 160)
        return kInvalidValue;
    const uint32_t mantissa = (uint32_t(b[1] & 0x7F) << 16) | (uint32_t(b[2]) << 8) | b[3];
    const int e = b[0];
    double v = std::ldexp(double(mantissa), e - 151);
    if (b[3] & 0x01)
        v += std::ldexp(1.0, e - 152);
    if (b[1] & 0x80)
        v = -v;
    traceValue(trace, b, decimalText(v));
    return v;
}

ValueBytes encodeControllerReal(double v) {
    static constexpr ValueBytes kZero{0x80, 0x00, 0x00, 0x00};
    static constexpr ValueBytes kMarker{0xFF, 0xFF, 0xFF, 0xFF};
    if (std::isnan(v))
        return kMarker;
    if (v == 0.0)
        return kZero;
    double q = std::fabs(v);
    if (q >= kInvalidValue)
        return kMarker;

    int e;
    double w;
    if (q >= 1.0) {
        e = 129;
        w = 1.0;
        while (q >= 2.0 * w) {
            w *= 2.0;
            ++e;
        }
        // An exponent byte cannot hold more; the controller would read a wrapped byte as a
        // tiny number, so such a value goes out as "no valid value" instead.
        if (e > kMaxExponentByte)
            return kMarker;
    } else {
        e = 128;
        w = 0.5;
        while (q < w) {
            w *= 0.5;
            --e;
            if (e < kMinExponentByte)
                return kZero;
        }
    }

    uint32_t mantissa = 0;
    for (int bit = 22; bit >= 0; --bit) {
        if (q >= w) {
            mantissa |= 1u << bit;
            q -= w;
        }
        w *= 0.5;
    }
    ValueBytes out{uint8_t(e), uint8_t((mantissa >> 16) & 0x7F), uint8_t(mantissa >> 8),
                   uint8_t(mantissa)};
    if (v < 0)
        out[1] |= 0x80;
    return out;
}

uint32_t decodeControllerInteger(std::span<const uint8_t, 4> b, TraceLog* trace) {
    const uint32_t n = uint32_t(b[0]) * 1000000u + uint32_t(b[1]) * 65536u + uint32_t(b[2]) * 256u + b[3];
    traceValue(trace, b, std::to_string(n));
    return n;
}

double decodeIeeeSingle(std::span<const uint8_t, 4> b) {
    const uint32_t bits = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) |
                          (uint32_t(b[3]) << 24);
    const double v = std::bit_cast<float>(bits);
    if (v == 0.0)
        return 0.0;
    const double q = std::fabs(v);
    if (std::isnan(v) || q >= kInvalidValue || q <= 1e-25)
        return kInvalidValue;
    return v;
}

double decodeChannelReal(std::span<const uint8_t, 4> b, int channelType, TraceLog* trace) {
    return isCanChannel(channelType) ? decodeIeeeSingle(b) : decodeControllerReal(b, trace);
}

} // namespace kv
