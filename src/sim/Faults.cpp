#include "sim/Faults.h"

namespace kv::sim {

namespace {
constexpr std::string_view kNames[] = {
    "no-answer",       "negative-receipt", "bad-checksum", "garbage",       "truncated",
    "wrong-address",   "wrong-control",    "wrong-length", "wrong-start",   "wrong-end",
    "slow",            "succeed-after",    "write-failure", "port-gone",
};
static_assert(std::size(kNames) == std::size_t(Fault::Count));
} // namespace

std::string_view faultName(Fault f)
{
    const auto i = std::size_t(f);
    return i < std::size(kNames) ? kNames[i] : std::string_view();
}

std::optional<Fault> faultByName(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (kNames[i] == name)
            return Fault(i);
    return std::nullopt;
}

void Faults::arm(Fault f, int times)
{
    if (f == Fault::SucceedAfter) {
        // The N-th try succeeds: N-1 tries fail. N of 1 (or less) fails none.
        left_[idx(f)] = times == kUntilCleared ? kUntilCleared : (times > 1 ? times - 1 : 0);
        return;
    }
    left_[idx(f)] = times < 0 ? kUntilCleared : times;
}

bool Faults::take(Fault f)
{
    int& n = left_[idx(f)];
    if (n == 0)
        return false;
    if (n > 0)
        --n;
    ++hits_[idx(f)];
    return true;
}

} // namespace kv::sim
