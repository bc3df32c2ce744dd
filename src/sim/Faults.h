#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// Faults a test or the demo switches on to see how the program copes with a bad line or a
// confused controller. Each fault is armed for a number of occurrences or until cleared;
// an occurrence is used up only where the fault can show (a wrong checksum needs a reply
// with a checksum), so "once" always means "the next time it can happen".

namespace kv::sim {

enum class Fault : uint8_t {
    NoAnswer,          // the controller stays silent
    NegativeReceipt,   // the controller refuses the request (where the protocol has a refusal)
    BadChecksum,       // the reply's checksum or CRC is wrong
    GarbageBeforeFrame,// stray bytes precede the reply
    TruncatedReply,    // the reply stops short
    WrongAddress,      // the reply names another controller
    WrongControlByte,  // the reply's control byte (CAN: sequence tag; traditional: handshake) is wrong
    WrongLength,       // FT1.2: the two length bytes differ; CAN: the count nibble is wrong
    WrongStartByte,    // FT1.2: the second 0x68 of a long reply is missing
    WrongEndByte,      // FT1.2: the end byte is not 0x16
    SlowReply,         // the reply comes late (see `slowReplyMs`)
    SucceedAfter,      // the controller answers only the N-th try of a request
    WriteFailure,      // writing to the port fails
    PortGone,          // the port has vanished: every operation fails
    Count
};

std::string_view faultName(Fault f);
std::optional<Fault> faultByName(std::string_view name);

class Faults {
public:
    static constexpr int kUntilCleared = -1;

    // Arms a fault for `times` occurrences (kUntilCleared: until `clear`). For SucceedAfter,
    // `times` is N: the next N-1 requests go unanswered and the N-th is served.
    void arm(Fault f, int times = 1);
    void once(Fault f) { arm(f, 1); }
    void always(Fault f) { arm(f, kUntilCleared); }
    void clear(Fault f) { left_[idx(f)] = 0; }
    void clearAll() { left_.fill(0); }

    bool armed(Fault f) const { return left_[idx(f)] != 0; }
    // True when the fault is armed, and then uses up one occurrence.
    bool take(Fault f);
    // How often a fault has shown since the start (for tests that check it was hit).
    int hits(Fault f) const { return hits_[idx(f)]; }

    int slowReplyMs = 4000;   // extra delay of a slow reply

private:
    static std::size_t idx(Fault f) { return std::size_t(f); }
    std::array<int, std::size_t(Fault::Count)> left_{};
    std::array<int, std::size_t(Fault::Count)> hits_{};
};

} // namespace kv::sim
