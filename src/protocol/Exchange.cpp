#include "protocol/Exchange.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "protocol/Checksums.h"
#include "protocol/Frames.h"
#include "protocol/LineControl.h"

namespace kv {

namespace {

constexpr int kReadTimeoutMs = 1000;
constexpr int kWritePerByteMs = 500;
// No wait may spin for ever on a port that keeps answering instantly without data.
constexpr int kMaxReadsPerWait = 1 << 16;
// Traditional handshake: the computer asks with ENQ, the controller answers EOT.
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
// Line modems need one more byte after the frame to push it out of their buffer.
constexpr uint8_t kIsmFlush = 0xFF;
// The controller's reply never needs more than this; a larger d is a caller's mistake that
// must not turn into a huge allocation.
constexpr int kMaxReplyLen = 0xFFFF;

std::string hexBytes(std::string prefix, std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    prefix.reserve(prefix.size() + bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            prefix += ' ';
        prefix += digits[bytes[i] >> 4];
        prefix += digits[bytes[i] & 0x0F];
    }
    return prefix;
}

bool writeAll(SerialPort& port, std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        return true;
    return port.write(bytes.data(), int(bytes.size())) == int(bytes.size());
}

// 1: a byte came; 0: nothing within the read time-out; -1: the port failed.
int readOne(SerialPort& port, uint8_t& b)
{
    const int n = port.read(&b, 1);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

int64_t msBetween(double earlier, double later)
{
    return std::llround((later - earlier) * 86400000.0);
}

void storeData(std::span<uint8_t> reply, int replyLen, int index, uint8_t b)
{
    if (index >= 0 && index < replyLen && std::size_t(index) < reply.size())
        reply[std::size_t(index)] = b;
}

} // namespace

FrameEngine frameEngineFor(uint8_t protocol)
{
    switch (protocol) {
    case prot::Ft12:
    case prot::Ft12Counted:
        return FrameEngine::Ft12;
    case prot::Ft11:
        return FrameEngine::Ft11;
    default:
        return FrameEngine::Traditional;
    }
}

int replyWaitBase(FrameEngine engine, int channelType, int speedIndex)
{
    if (channelType == channel::Hayes)
        return 10;
    if (engine == FrameEngine::Ft12 && channelType == channel::Gsm)
        return 10;
    if (speedIndex <= 0)
        return 8;
    if (speedIndex <= 2)
        return 5;
    return 3;
}

int waitUnitsBetween(double earlier, double later)
{
    // The small allowance keeps the rounding of two large day counts from losing a unit
    // that has fully passed.
    return int(std::floor((later - earlier) * 100000.0 + 1e-5));
}

Exchange::Exchange(Clock& clock, EventPump& pump, TraceLog& trace)
    : clock_(clock), pump_(pump), trace_(trace)
{
}

void Exchange::debugLog(const std::string& line)
{
    trace_.debugLog(line);
    pump_.processEvents();
}

ExchangeResult Exchange::transact(SerialPort& port, std::span<const uint8_t> body,
                                  std::span<uint8_t> reply, int channelType, int replyLen)
{
    // The CAN adapter speaks only its own 13-byte frames.
    if (channelType == channel::CanBus)
        return xr::BadModule;
    replyLen = std::clamp(replyLen, 0, kMaxReplyLen);
    switch (frameEngineFor(state_.protocol)) {
    case FrameEngine::Traditional:
        return traditional(port, body, reply, channelType, replyLen);
    case FrameEngine::Ft11: {
        const ExchangeResult r = ft11(port, body, reply, channelType, replyLen);
        return (replyLen == 0 && r == xr::PositiveReceipt) ? xr::Ok : r;
    }
    case FrameEngine::Ft12: {
        const ExchangeResult r = ft12(port, body, reply, channelType, replyLen);
        return (replyLen == 0 && r == xr::PositiveReceipt) ? xr::Ok : r;
    }
    }
    return xr::NoAnswer;
}

ExchangeResult Exchange::traditional(SerialPort& port, std::span<const uint8_t> body,
                                     std::span<uint8_t> reply, int channelType, int replyLen)
{
    const auto frame = traditionalFrame(body);
    if (!frame)
        return xr::WriteFailed;   // nothing that could be sent
    const int speed = state_.speedIndex;
    const bool ism = isIsmLine(channelType);
    const int waitBase = replyWaitBase(FrameEngine::Traditional, channelType, speed);

    ExchangeResult r = xr::NoAnswer;
    for (int attempt = 0; attempt < attempts(); ++attempt) {
        if (attempt > 0)
            clock_.sleepMs(state_.retryPauseMs);
        if (hasModemPowerTest(channelType) && !modemPowerTest(port))
            return xr::ModemPowerOff;
        // Set every attempt: the data read of the previous one lengthened the read time-out.
        port.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
        beforeSending(port, clock_, channelType, speed);
        port.discardInput();

        debugLog(">>5");
        if (!writeAll(port, std::span(&kEnq, 1))) {
            r = xr::WriteFailed;
            continue;
        }

        r = xr::Ok;
        if (!ism) {
            afterSending(port, clock_, channelType, speed);
            r = xr::NoAnswer;
            std::vector<uint8_t> seen;
            const double start = clock_.now();
            for (int reads = 0; reads < kMaxReadsPerWait && waitUnitsSince(start) < 2; ++reads) {
                uint8_t b = 0;
                if (readOne(port, b) <= 0)
                    break;
                seen.push_back(b);
                if (b == kEot) {
                    r = xr::Ok;
                    break;
                }
            }
            debugLog(hexBytes("Ждем 4: ", seen));
        }

        std::vector<uint8_t> received;
        if (r == xr::Ok) {
            debugLog(hexBytes(">>", *frame));
            beforeSending(port, clock_, channelType, speed);
            port.discardInput();
            if (!writeAll(port, *frame) || (ism && !writeAll(port, std::span(&kIsmFlush, 1)))) {
                r = xr::WriteFailed;
                continue;
            }
            afterSending(port, clock_, channelType, speed);

            if (echoesOwnBytes(channelType)) {
                // A two-wire line hears the frame first; those bytes are never the receipt.
                std::size_t echoed = 0;
                uint8_t b = 0;
                while (echoed < frame->size() && readOne(port, b) > 0)
                    ++echoed;
            }

            r = xr::NoReceipt;
            const double start = clock_.now();
            for (int reads = 0; reads < kMaxReadsPerWait && waitUnitsSince(start) < 2; ++reads) {
                uint8_t b = 0;
                const int got = readOne(port, b);
                if (got < 0)
                    break;
                if (got == 0)
                    continue;
                received.push_back(b);
                if (b == kAck) {
                    r = xr::Ok;
                    break;
                }
                if (b == kNak) {
                    r = xr::NegativeReceipt;
                    break;
                }
            }

            if (r == xr::Ok && replyLen > 0) {
                const int waitMs = (waitBase + (replyLen > 50 ? 2 : 0)) * 1000;
                port.setTimeouts(waitMs, kWritePerByteMs);
                std::vector<uint8_t> data(std::size_t(replyLen) + 1);
                const int got = std::max(0, port.read(data.data(), int(data.size())));
                data.resize(std::size_t(got));
                received.insert(received.end(), data.begin(), data.end());
                for (int i = 0; i < std::min(got, replyLen); ++i)
                    storeData(reply, replyLen, i, data[std::size_t(i)]);
                // A reply cut short is a reply that did not come, even if what came sums to 0.
                if (got < replyLen + 1)
                    r = xr::NoAnswer;
                else
                    r = sum8(data) == 0 ? xr::Ok : xr::ReplyChecksum;
            }
        }
        debugLog(hexBytes("<<", received));
        if (r == xr::Ok)
            break;
    }
    return r;
}

bool Exchange::startFrameAttempt(SerialPort& port, int channelType, int speed, int attempt)
{
    // Pause first, then discard: late bytes of the previous attempt must not pass for the
    // reply to this one.
    if (attempt > 0)
        clock_.sleepMs(state_.retryPauseMs);
    port.discardInput();
    if (hasModemPowerTest(channelType) && !modemPowerTest(port))
        return false;
    beforeSending(port, clock_, channelType, speed);
    return true;
}

ExchangeResult Exchange::ft11(SerialPort& port, std::span<const uint8_t> body,
                              std::span<uint8_t> reply, int channelType, int replyLen)
{
    const auto frame = ft11Frame(body, state_.networkNumber);
    if (!frame)
        return xr::WriteFailed;
    const int speed = state_.speedIndex;
    const int waitBase = replyWaitBase(FrameEngine::Ft11, channelType, speed);
    const auto header = std::span(*frame).first(3);
    const auto payload = std::span(*frame).subspan(3);

    port.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
    ExchangeResult r = xr::NoReceipt;
    for (int attempt = 0; attempt < attempts(); ++attempt) {
        if (!startFrameAttempt(port, channelType, speed, attempt))
            return xr::ModemPowerOff;
        if (!writeAll(port, header) || !writeAll(port, payload)) {
            r = xr::WriteFailed;
            continue;
        }
        afterSending(port, clock_, channelType, speed);
        port.setTimeouts(waitBase * 1000, kWritePerByteMs);

        if (echoesOwnBytes(channelType)) {
            std::size_t echoed = 0;
            const double start = clock_.now();
            uint8_t b = 0;
            while (echoed < frame->size() && waitUnitsSince(start) < waitBase
                   && readOne(port, b) > 0)
                ++echoed;
        }

        uint8_t length = 0;
        if (readOne(port, length) <= 0) {
            r = xr::NoReceipt;
        } else if (length == 0) {
            r = xr::PositiveReceipt;
        } else {
            r = xr::NoAnswer;
            int index = 0;
            const double start = clock_.now();
            for (int reads = 0; reads < kMaxReadsPerWait && waitUnitsSince(start) < waitBase;
                 ++reads) {
                uint8_t b = 0;
                const int got = readOne(port, b);
                if (got < 0)
                    break;
                if (got == 0)
                    continue;
                if (index == 0 && b != 0) {
                    r = xr::ControlByte;
                    break;
                }
                if (index == 1 && b != state_.networkNumber) {
                    r = xr::Address;
                    break;
                }
                storeData(reply, replyLen, index - 2, b);
                if (++index == length) {
                    r = xr::Ok;
                    break;
                }
            }
        }
        clock_.sleepMs(100);
        if (r == xr::Ok || r >= xr::PositiveReceipt)
            break;
    }
    return r;
}

ExchangeResult Exchange::ft12(SerialPort& port, std::span<const uint8_t> body,
                              std::span<uint8_t> reply, int channelType, int replyLen)
{
    const int crcMode = state_.crcMode;
    if (body.size() > maxFt12Body(crcMode))
        return xr::WriteFailed;
    uint8_t control = 0x40;
    uint8_t expectedControl = 0;
    if (state_.protocol == prot::Ft12Counted) {
        state_.frameCounter = state_.frameCounter >= 8 ? 0 : uint8_t(state_.frameCounter + 1);
        control = uint8_t(0x40 + state_.frameCounter);
        expectedControl = state_.frameCounter;
    }
    const uint8_t address = state_.networkNumber;
    const auto frame = ft12Frame(body, control, address, crcMode);
    if (!frame)
        return xr::WriteFailed;
    const auto all = frame->bytes();
    const int speed = state_.speedIndex;
    const int waitBase = replyWaitBase(FrameEngine::Ft12, channelType, speed);
    const bool slowLink = channelType == channel::Hayes || channelType == channel::Gsm;

    port.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
    ExchangeResult r = xr::ModemPowerOff;
    for (int attempt = 0; attempt < attempts(); ++attempt) {
        if (!startFrameAttempt(port, channelType, speed, attempt))
            return xr::ModemPowerOff;
        debugLog(hexBytes(">>", all));
        if (!writeAll(port, frame->header) || !writeAll(port, frame->user)
            || !writeAll(port, frame->trailer)) {
            r = xr::WriteFailed;
            continue;
        }
        afterSending(port, clock_, channelType, speed);
        port.setTimeouts(kReadTimeoutMs, kWritePerByteMs);

        if (echoesOwnBytes(channelType)) {
            std::vector<uint8_t> echo;
            const double start = clock_.now();
            uint8_t b = 0;
            while (echo.size() < all.size() && waitUnitsSince(start) < waitBase
                   && readOne(port, b) > 0)
                echo.push_back(b);
            if (!echo.empty())
                debugLog(hexBytes("2x : ", echo));
        }

        if (slowLink)
            port.setTimeouts(3000, kWritePerByteMs);
        std::vector<uint8_t> received;
        uint8_t startByte = 0;
        int count = 0;
        if (readOne(port, startByte) <= 0) {
            r = xr::NoAnswer;
        } else {
            received.push_back(startByte);
            r = xr::NoAnswer;
            if (startByte == kFt12Ack) {
                r = xr::PositiveReceipt;
            } else if (startByte == kFt12Nak) {
                r = xr::NegativeFtReceipt;
            } else if (startByte == kFt12Long) {
                std::array<uint8_t, 3> head{};
                const int got = std::max(0, port.read(head.data(), 3));
                received.insert(received.end(), head.begin(), head.begin() + got);
                if (got < 3)
                    r = xr::NoAnswer;
                else if (head[2] != kFt12Long)
                    r = xr::SecondStart;
                else if (head[0] != head[1])
                    r = xr::LengthMismatch;
                else if (head[0] < 2)
                    r = xr::NoAnswer;   // no room for C and A: not a frame
                else
                    count = head[0];
            } else if (startByte == kFt12Short) {
                count = crcMode == 1 ? 8 : 6;
            }
        }

        if (count > 0) {
            port.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
            std::array<uint8_t, 255 + 2> user{};   // count fits one length byte
            uint8_t sum = 0;
            int index = 0;
            r = xr::NoAnswer;
            const double start = clock_.now();
            for (int reads = 0;
                 reads < kMaxReadsPerWait && msBetween(start, clock_.now()) < waitBase * 1000;
                 ++reads) {
                uint8_t b = 0;
                const int got = readOne(port, b);
                if (got < 0)
                    break;
                if (got == 0)
                    continue;
                received.push_back(b);
                if (index == 0 && b != expectedControl) {
                    r = xr::ControlByte;
                    break;
                }
                if (index == 1 && b != address) {
                    r = xr::Address;
                    break;
                }
                storeData(reply, replyLen, index - 2, b);
                sum = uint8_t(sum + b);
                user[std::size_t(index)] = b;
                if (++index == count) {
                    r = xr::Ok;
                    break;
                }
            }

            if (r == xr::Ok) {
                std::array<uint8_t, 2> trailer{};
                const int got = std::max(0, port.read(trailer.data(), 2));
                received.insert(received.end(), trailer.begin(), trailer.begin() + got);
                const auto userBytes = std::span(user).first(std::size_t(count));
                if (got < 2) {
                    r = xr::NoTrailer;
                } else if (crcMode == 2) {
                    if (crc16(trailer, crc16(userBytes)) != 0)
                        r = xr::CrcMismatch;
                } else if (crcMode == 1 && crc16(userBytes) != 0) {
                    r = xr::CrcMismatch;
                } else if (trailer[0] != sum) {
                    r = xr::FrameChecksum;
                } else if (trailer[1] != kFt12End) {
                    r = xr::EndByte;
                }
            }
        }
        debugLog(hexBytes("<<", received));
        if (r == xr::Ok || r == xr::PositiveReceipt || r == xr::NegativeFtReceipt)
            break;
    }
    return r;
}

ExchangeResult Exchange::probeFrameCounter(SerialPort& port, int channelType)
{
    if (state_.protocol != prot::Ft12 && state_.protocol != prot::Ft12Counted)
        return xr::Ok;
    if (channelType == channel::CanBus)
        return xr::BadModule;
    const int savedAttempts = state_.attemptCount;
    state_.attemptCount = 1;
    state_.frameCounter = 1;
    state_.protocol = prot::Ft12Counted;
    // Any short read will do; this one reads two bytes at 0x40 0x15.
    static constexpr std::array<uint8_t, 3> probeRead{0x01, 0x40, 0x15};
    std::array<uint8_t, 2> reply{};
    ExchangeResult r = xr::NoAnswer;
    for (int i = 0; i < 2; ++i) {
        r = ft12(port, probeRead, reply, channelType, int(reply.size()));
        if (r == xr::Ok || r == xr::ControlByte)
            break;
    }
    // A controller that answers with control byte 0 does not count frames.
    if (r == xr::ControlByte)
        state_.protocol = prot::Ft12;
    state_.attemptCount = savedAttempts;
    return r;
}

} // namespace kv
