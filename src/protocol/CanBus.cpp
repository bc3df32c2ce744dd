#include "protocol/CanBus.h"

#include <algorithm>
#include <vector>

#include "protocol/ControllerReal.h"

namespace kv {

namespace {

constexpr std::array<uint8_t, 15> kSpeedCodes{0x41, 0x42, 0x43, 0x44, 0x45, 0x47, 0x49, 0x4B,
                                               0x4E, 0x4F, 0x53, 0x57, 0x5D, 0x67, 0x7B};
constexpr std::array<uint8_t, 8> kDefaultMasks{0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00};
constexpr std::array<uint8_t, 3> kDefaultTiming{0x02, 0xE0, 0x41};
constexpr std::array<uint8_t, 3> kAdapterReady{0x30, 0x0A, 0x0D};

constexpr int kInitReadMs = 1000;
constexpr int kInitWritePerByteMs = 10;
constexpr int kFrameReadMs = 10;
constexpr int kFrameWritePerByteMs = 10;
constexpr int kFrameReplyMs = 2000;
// A port that answers every read at once with nothing (no time passing) must not hold the
// reply wait forever: this many empty reads end it as surely as the 2 s do.
constexpr int kMaxEmptyReads = 2 * kFrameReplyMs / kFrameReadMs;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int64_t elapsedMs(const Clock& clock, double since) {
    return int64_t((clock.now() - since) * 86400000.0 + 0.5);
}

// Drops whatever still arrives until one frame read time-out passes in silence (at most the
// reply time).
void settle(SerialPort& port, Clock& clock) {
    const double start = clock.now();
    std::array<uint8_t, 16> drop{};
    for (int reads = 0; reads < kMaxEmptyReads && elapsedMs(clock, start) < kFrameReplyMs; ++reads)
        if (port.read(drop.data(), int(drop.size())) <= 0)
            break;
}

} // namespace

uint8_t canSpeedCode(int speedIndex) {
    if (speedIndex < 0 || speedIndex >= int(kSpeedCodes.size()))
        speedIndex = 0;
    return kSpeedCodes[std::size_t(speedIndex)];
}

bool parseHexBytes(const std::string& value, std::span<uint8_t> out) {
    std::size_t found = 0;
    bool inNumber = false;
    uint8_t number = 0;
    for (char c : value) {
        if (found == out.size())
            break;
        const int d = hexDigit(c);
        if (d >= 0) {
            number = uint8_t((number << 4) | d);
            inNumber = true;
        } else if (inNumber) {
            out[found++] = number;
            number = 0;
            inNumber = false;
        }
    }
    if (inNumber && found < out.size())
        out[found++] = number;
    return found == out.size();
}

CanInitBlock makeCanInitBlock(const CanBusConfig& config) {
    CanInitBlock b{};
    std::span<uint8_t> filters(b.data(), 24);
    std::span<uint8_t> masks(b.data() + 24, 8);
    std::span<uint8_t> timing(b.data() + 32, 3);
    if (!parseHexBytes(config.acceptanceFilter, filters))
        std::fill(filters.begin(), filters.end(), uint8_t(0));
    if (!parseHexBytes(config.acceptanceMask, masks))
        std::copy(kDefaultMasks.begin(), kDefaultMasks.end(), masks.begin());
    if (!parseHexBytes(config.cnf321, timing))
        std::copy(kDefaultTiming.begin(), kDefaultTiming.end(), timing.begin());
    b[34] = canSpeedCode(config.speedPc);
    uint8_t sum = 0;
    for (std::size_t i = 0; i < 35; ++i)
        sum = uint8_t(sum + b[i]);
    b[35] = uint8_t(-sum);
    return b;
}

bool initCanAdapter(SerialPort& port, const CanInitBlock& block, Clock& clock, EventPump& pump) {
    port.discardInput();
    pump.processEvents();
    port.setTimeouts(kInitReadMs, kInitWritePerByteMs);
    port.setDtr(true);
    clock.sleepMs(100);
    port.setDtr(false);
    clock.sleepMs(100);
    port.setTimeouts(kInitReadMs, kInitWritePerByteMs);
    pump.processEvents();
    if (port.write(block.data(), int(block.size())) != int(block.size()))
        return false;
    std::array<uint8_t, 3> answer{};
    if (port.read(answer.data(), int(answer.size())) != int(answer.size()))
        return false;
    return answer == kAdapterReady;
}

CanFrame makeCanFrame(uint8_t networkNumber, uint8_t kind, uint8_t computerAddress,
                      uint8_t function, uint8_t byte7, uint8_t byte8) {
    CanFrame f{};
    f[0] = networkNumber;
    f[4] = kind;
    f[5] = computerAddress;
    f[6] = function;
    f[7] = byte7;
    f[8] = byte8;
    return f;
}

std::array<uint8_t, 4> gatewayReadBody(uint8_t protocol, uint16_t address) {
    const uint8_t lo = uint8_t(address & 0xFF);
    const uint8_t hi = uint8_t(address >> 8);
    if (protocol == 0)
        return {0x11, lo, hi, 0x04};
    return {0x11, 0x00, lo, hi};
}

std::array<uint8_t, 5> gatewayControlBody(uint8_t value) {
    return {0x14, 0x03, 0x00, 0x05, value};
}

CanLink::CanLink(Exchange& engine) : engine_(engine), block_(makeCanInitBlock(CanBusConfig{})) {}

bool CanLink::initAdapter(SerialPort& port) {
    return initCanAdapter(port, block_, engine_.clock(), engine_.pump());
}

ExchangeResult CanLink::lineCheck(SerialPort& port) {
    if (port.modemStatus().rlsd)
        return 0;
    return initAdapter(port) ? 0 : 46;
}

ExchangeResult CanLink::exchangeFrame(SerialPort& port, CanFrame& request, int dataCount, CanFrame& reply) {
    Clock& clock = engine_.clock();
    const int attempts = std::max(1, engine_.state().attemptCount);
    port.setTimeouts(kFrameReadMs, kFrameWritePerByteMs);

    ExchangeResult result = 41;
    bool disturbed = false;   // the last attempt took bytes that were not a good reply
    for (int attempt = 0; attempt < attempts; ++attempt) {
        engine_.pump().processEvents();
        if (cancelled_ && cancelled_())
            return 9;

        tag_ = nextCanTag(tag_);
        request[1] = tag_;
        result = lineCheck(port);
        if (result != 0)
            continue;
        // A fresh initialisation leaves the adapter's long time-outs; the reply wait needs
        // the short ones to keep to its 2 s.
        port.setTimeouts(kFrameReadMs, kFrameWritePerByteMs);
        // Frames carry no start mark: a byte left from an earlier reply (the rest of one that
        // noise garbled, a late one) would shift this reply and every later one, and each retry
        // would fail the same way. After a disturbed attempt the line is let fall quiet first,
        // since the rest of that reply may still be on its way.
        if (disturbed)
            settle(port, clock);
        port.discardInput();

        CanFrame got{};
        int have = 0;
        const bool sent = port.write(request.data(), int(request.size())) == int(request.size());
        if (!sent) {
            result = 8;
        } else {
            const double start = clock.now();
            int emptyReads = 0;
            while (have < int(got.size()) && elapsedMs(clock, start) < kFrameReplyMs &&
                   emptyReads < kMaxEmptyReads) {
                const int n = port.read(got.data() + have, 1);
                if (n < 0)
                    break;   // the port is gone: no reply will come
                if (n == 0) {
                    ++emptyReads;
                    continue;
                }
                have += n;
            }
            if (have < int(got.size()))
                result = 41;
            else if ((got[1] & 0xE0) != tag_)
                result = 42;
            else if ((got[4] & 0x0F) != dataCount + 1)
                result = 43;
            else
                result = 0;
            disturbed = result != 0 && have > 0;
        }

        engine_.debugLog(">> " + (sent ? hexBytes(request) : std::string()));
        engine_.debugLog("<< " + hexBytes(std::span<const uint8_t>(got.data(), std::size_t(have))));
        if (result == 0) {
            reply = got;
            reply[4] &= 0x0F;
            return 0;
        }
    }
    return result;
}

ExchangeResult CanLink::controlFrame(SerialPort& port, uint8_t value) {
    const ExchangeState& st = engine_.state();
    CanFrame request = makeCanFrame(st.networkNumber, kCanKindControl, st.computerAddress,
                                    kCanFnControl, value);
    CanFrame reply{};
    const ExchangeResult r = exchangeFrame(port, request, 1, reply);
    return r == 43 ? 0 : r;
}

ExchangeResult CanLink::controlGateway(SerialPort& port, int channelType, uint8_t value) {
    const auto body = gatewayControlBody(value);
    return engine_.transact(port, body, std::span<uint8_t>(), channelType, 0);
}

ExchangeResult CanLink::control(SerialPort& port, int channelType, uint8_t value) {
    return channelType == 12 ? controlGateway(port, channelType, value) : controlFrame(port, value);
}

ExchangeResult CanLink::readFrames(SerialPort& port, uint16_t address, std::span<uint8_t> out) {
    const ExchangeState& st = engine_.state();
    std::vector<uint8_t> data;
    data.reserve(out.size());
    bool first = true;
    while (data.size() < out.size()) {
        const int count = int(std::min<std::size_t>(kCanFrameData, out.size() - data.size()));
        CanFrame request = first
            ? makeCanFrame(st.networkNumber, kCanKindFirstRead, st.computerAddress, kCanFnRead,
                           uint8_t(address & 0xFF), uint8_t(address >> 8))
            : makeCanFrame(st.networkNumber, kCanKindNextRead, st.computerAddress, kCanFnContinue);
        CanFrame reply{};
        const ExchangeResult r = exchangeFrame(port, request, count, reply);
        if (r != 0)
            return r;
        data.insert(data.end(), reply.begin() + 6, reply.begin() + 6 + count);
        first = false;
    }
    std::copy(data.begin(), data.end(), out.begin());
    return 0;
}

ExchangeResult CanLink::readGateway(SerialPort& port, int channelType, uint16_t address, std::span<uint8_t> out) {
    if (out.size() > kCanFrameData)
        return 15;
    std::array<uint8_t, kCanFrameData> chunk{};
    const auto body = gatewayReadBody(engine_.state().protocol, address);
    if (const ExchangeResult r = engine_.transact(port, body, chunk, channelType, kCanFrameData); r != 0)
        return r;
    std::copy_n(chunk.begin(), out.size(), out.begin());
    return 0;
}

ExchangeResult CanLink::read(SerialPort& port, int channelType, uint16_t address, std::span<uint8_t> out) {
    // A gateway read carries 4 bytes, and the low address byte is a parameter number, not a
    // byte offset: the next 4 bytes of a longer value (a failure record, an archive block) are
    // not at address + 4. Longer values travel as the controller's own frames with their
    // continuations, which the gateway passes on as it does for the model and clock reads.
    if (channelType == 12 && out.size() <= kCanFrameData)
        return readGateway(port, channelType, address, out);
    return readFrames(port, address, out);
}

} // namespace kv
