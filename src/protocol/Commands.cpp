#include "protocol/Commands.h"

#include <algorithm>

namespace kv {

const std::array<std::string, 3> kStateNames{"РАБОТА", "ОСТАНОВ", "ПЕРЕЗАПУСК"};

namespace {

constexpr std::array<int, 11> kFormatLengths{2, 2, 4, 2, 128, 2, 8, 4, 4, 4, 128};
constexpr uint8_t kStringFormat = 10;
constexpr uint8_t kStringEnd = 0xFF;

constexpr uint16_t kVersionAddress = 0x401E;
constexpr uint16_t kModelAddress = 0x411E;
constexpr uint16_t kCanModuleAddress = 0xF000;
constexpr uint8_t kCanModelControl = 3;

constexpr uint8_t kGroupDescriptorRead = 0x51;
constexpr uint8_t kGroupDescriptorWrite = 0x50;
constexpr int kMaxGroupNumber = 7;

// Decoded values go to the trace the way the engine's own lines do, so the user interface
// gets its turn after each.
class EngineTrace final : public TraceLog {
public:
    explicit EngineTrace(Exchange& engine) : engine_(engine) {}
    void debugLog(const std::string& line) override { engine_.debugLog(line); }

private:
    Exchange& engine_;
};

} // namespace

int formatLength(uint8_t format) {
    return format < kFormatLengths.size() ? kFormatLengths[format] : 0;
}

bool kindFits(ValueKind kind, uint8_t format) {
    if (formatLength(format) == 0)
        return false;
    switch (kind) {
    case ValueKind::Plain:
    case ValueKind::String:
        return format != 2 && format != 8;
    case ValueKind::Format2:
        return format == 2;
    case ValueKind::Real:
        return format == 8 || format == 9;
    }
    return false;
}

std::array<uint8_t, 3> readBody(uint16_t address) {
    return {0x01, uint8_t(address >> 8), uint8_t(address & 0xFF)};
}

std::array<uint8_t, 5> writeEnableBody(const ParamCode& code) {
    return {0x05, 0x40, 0x07, uint8_t(~(code.classIndex | code.index)), uint8_t(~code.number)};
}

std::vector<uint8_t> writeBody(uint16_t address, std::span<const uint8_t> value) {
    std::vector<uint8_t> body{0x05, uint8_t(address >> 8), uint8_t(address & 0xFF)};
    body.insert(body.end(), value.begin(), value.end());
    return body;
}

Commands::Commands(Exchange& engine, CanLink& can, FormatLookup lookup)
    : engine_(engine), can_(can), lookup_(std::move(lookup)) {}

ExchangeResult Commands::checkParam(const ParamCode& code, ValueKind kind, uint8_t& format) const {
    const std::optional<uint8_t> found = lookup_ ? lookup_(code) : std::nullopt;
    if (!found)
        return 14;
    if (!kindFits(kind, *found))
        return 15;
    format = *found;
    return 0;
}

ExchangeResult Commands::readAddress(SerialPort& port, int channelType, uint16_t address,
                                     std::span<uint8_t> value) {
    if (isCanChannel(channelType))
        return can_.read(port, channelType, address, value);
    // The engine may leave part of a failed reply behind; the caller sees only whole values.
    std::vector<uint8_t> reply(value.size());
    const auto body = readBody(address);
    const ExchangeResult r = engine_.transact(port, body, reply, channelType, int(reply.size()));
    if (r == 0)
        std::copy(reply.begin(), reply.end(), value.begin());
    return r;
}

ExchangeResult Commands::readParam(SerialPort& port, int channelType, const ParamCode& code,
                                   ValueKind kind, std::span<uint8_t> value, int* length) {
    if (kind == ValueKind::String)
        return 15;
    uint8_t format = 0;
    if (const ExchangeResult r = checkParam(code, kind, format); r != 0)
        return r;
    const int n = formatLength(format);
    if (value.size() < std::size_t(n))
        return 15;
    const ExchangeResult r = readAddress(port, channelType, code.address(), value.first(std::size_t(n)));
    if (r == 0 && length)
        *length = n;
    return r;
}

ExchangeResult Commands::readReal(SerialPort& port, int channelType, const ParamCode& code, double& value) {
    ValueBytes bytes{};
    const ExchangeResult r = readParam(port, channelType, code, ValueKind::Real, bytes);
    if (r == 0)
        {
        EngineTrace trace(engine_);
        value = decodeChannelReal(bytes, channelType, &trace);
    }
    return r;
}

ExchangeResult Commands::writeParam(SerialPort& port, int channelType, const ParamCode& code,
                                    std::span<const uint8_t> data, ValueKind kind) {
    uint8_t format = 0;
    if (const ExchangeResult r = checkParam(code, kind, format); r != 0)
        return r;
    std::size_t n = std::size_t(formatLength(format));
    if (format == kStringFormat) {
        const auto window = data.first(std::min<std::size_t>(data.size(), kMaxWriteLength));
        const auto end = std::find(window.begin(), window.end(), kStringEnd);
        n = end != window.end() ? std::size_t(end - window.begin()) + 1 : kMaxWriteLength;
    }
    // Bytes the caller did not give cannot be sent: refuse rather than send what lies beyond.
    if (data.size() < n)
        return 15;

    if (const ExchangeResult r = engine_.transact(port, writeEnableBody(code), {}, channelType, 0); r != 0)
        return r;
    const auto body = writeBody(code.address(), data.first(n));
    return engine_.transact(port, body, {}, channelType, 0);
}

ExchangeResult Commands::writeReal(SerialPort& port, int channelType, const ParamCode& code, double value) {
    const ValueBytes bytes = encodeControllerReal(value);
    return writeParam(port, channelType, code, bytes, ValueKind::Real);
}

ExchangeResult Commands::bitOperation(SerialPort& port, int channelType, const BitDescriptor& d,
                                      uint8_t& resultByte) {
    static constexpr std::array<uint8_t, 4> kOpsG{0x24, 0x28, 0x2C, 0x30};
    static constexpr std::array<uint8_t, 4> kOpsI{0x26, 0x2A, 0x2E, 0x32};
    static constexpr std::array<uint8_t, 4> kOpsJ{0x27, 0x27, 0x27, 0x90};

    const uint8_t cls = d[1], mode = d[2], bit = d[3], op = d[4];
    if (d[0] != 0x40 || (cls != 'G' && cls != 'I' && cls != 'J'))
        return 15;
    const bool high = cls == 'J';
    if (high ? (bit < 64 || bit > 127) : bit > 63)
        return 17;
    if (cls == 'G' ? mode != 0 : mode > 3)
        return 16;
    // The selector picks one of four codes; any other value names no operation.
    if (op > 3)
        return 16;
    const auto& ops = cls == 'G' ? kOpsG : cls == 'I' ? kOpsI : kOpsJ;
    const std::array<uint8_t, 3> body{0x0C, bit, uint8_t(ops[op] | (mode << 6))};

    if (mode == 0) {
        std::array<uint8_t, 1> reply{};
        const ExchangeResult r = engine_.transact(port, body, reply, channelType, 1);
        if (r == 0)
            resultByte = reply[0];
        return r;
    }
    if (const ExchangeResult r = engine_.transact(port, body, {}, channelType, 0); r != 0)
        return r;
    engine_.clock().sleepMs(100);
    std::array<uint8_t, 2> status{};
    const ExchangeResult r = engine_.transact(port, readBody(kStatusAddress), status, channelType, 2);
    if (r == 0)
        resultByte = status[1];
    return r;
}

ExchangeResult Commands::readGroupDescriptor(SerialPort& port, int channelType, int number,
                                             std::span<uint8_t> descriptor) {
    if (number < 0 || number > kMaxGroupNumber)
        return 18;
    const uint16_t address = uint16_t(((0x40 + number) << 8) | kGroupDescriptorRead);
    return readAddress(port, channelType, address, descriptor);
}

ExchangeResult Commands::writeGroupDescriptor(SerialPort& port, int channelType, int number,
                                              std::span<const uint8_t> descriptor) {
    if (number < 0 || number > kMaxGroupNumber)
        return 18;
    const ParamCode code{0x40, kGroupDescriptorWrite, uint8_t(number)};
    return writeParam(port, channelType, code, descriptor, ValueKind::Plain);
}

ExchangeResult Commands::readVersion(SerialPort& port, int channelType, VersionInfo& info) {
    if (isCanChannel(channelType)) {
        // The module and version reads go as frames on both CAN-BUS channel types.
        if (const ExchangeResult r = can_.controlFrame(port, kCanModelControl); r != 0)
            return r;
        std::array<uint8_t, 2> module{};
        if (const ExchangeResult r = can_.readFrames(port, kCanModuleAddress, module); r != 0)
            return r;
        int number = module[1] * 256 + module[0];
        if (number < 100)
            number *= 256;
        if (number < 0x1700 || number > 0x17FF)
            return 50;
        std::array<uint8_t, 2> version{};
        if (const ExchangeResult r = can_.readFrames(port, kVersionAddress, version); r != 0)
            return r;
        info.model = 3;
        info.version = version;
        return 0;
    }

    std::array<uint8_t, 2> version{}, model{};
    if (const ExchangeResult r = readAddress(port, channelType, kVersionAddress, version); r != 0)
        return r;
    if (const ExchangeResult r = readAddress(port, channelType, kModelAddress, model); r != 0)
        return r;
    int m = 3;
    if (version == model) {
        m = 0;
    } else {
        for (int i = 1; i <= 3; ++i) {
            if (model[0] == i && model[1] == 255 - i) {
                m = i;
                break;
            }
        }
    }
    info.model = m;
    info.version = version;
    return 0;
}

ExchangeResult Commands::readStatus(SerialPort& port, int channelType, uint8_t mask, uint8_t expected,
                                    uint8_t* statusByte) {
    std::array<uint8_t, 2> word{};
    if (const ExchangeResult r = readAddress(port, channelType, kStatusAddress, word); r != 0)
        return r;
    const uint8_t status = isCanChannel(channelType) ? word[0] : word[1];
    const int state = (status & kStateMask) >> 3;
    if (state < int(kStateNames.size()))
        stateName_ = kStateNames[std::size_t(state)];
    if (statusByte)
        *statusByte = status;
    return (status & mask) == expected ? 0 : kStatusDiffers;
}

ExchangeResult Commands::readTimedValues(SerialPort& port, int channelType, uint8_t selector,
                                         std::array<TimedValue, 16>& values) {
    std::array<uint8_t, 16 * 6> raw{};
    const uint16_t address = uint16_t(((selector & 0xF0) << 8) | 0x28);
    if (const ExchangeResult r = readAddress(port, channelType, address, raw); r != 0)
        return r;
    EngineTrace trace(engine_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const uint8_t* rec = raw.data() + i * 6;
        const uint8_t hour = rec[4], minute = rec[5];
        TimedValue tv;
        if (hour <= 23 && minute <= 59) {
            const double v = decodeChannelReal(std::span<const uint8_t, 4>(rec, 4), channelType, &trace);
            tv.time = (hour * 60 + minute) / 1440.0;
            tv.value = v == kInvalidValue ? 0.0 : v;
        }
        values[i] = tv;
    }
    return 0;
}

ExchangeResult Commands::read32Values(SerialPort& port, int channelType, uint8_t high, uint8_t element,
                                      std::array<double, 32>& values) {
    std::array<uint8_t, 32 * 4> raw{};
    const uint16_t address = uint16_t((high << 8) | uint8_t(0x30 + element));
    if (const ExchangeResult r = readAddress(port, channelType, address, raw); r != 0)
        return r;
    EngineTrace trace(engine_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = decodeChannelReal(std::span<const uint8_t, 4>(raw.data() + i * 4, 4),
                                           channelType, &trace);
        values[i] = v == kInvalidValue ? 0.0 : v;
    }
    return 0;
}

ExchangeResult Commands::simple(SerialPort& port, int channelType, std::span<const uint8_t> body) {
    return engine_.transact(port, body, {}, channelType, 0);
}

ExchangeResult Commands::resetFailures(SerialPort& port, int channelType) {
    return simple(port, channelType, kResetFailuresBody);
}

ExchangeResult Commands::setRunMode(SerialPort& port, int channelType) {
    return simple(port, channelType, kRunModeBody);
}

ExchangeResult Commands::release(SerialPort& port, int channelType) {
    return simple(port, channelType, kReleaseBody);
}

} // namespace kv
