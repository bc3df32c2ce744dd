#pragma once
#include <cstdint>

#include "app/Clock.h"

namespace kv::sim {

// Time that moves only when someone waits: sleeping advances it at once, and the simulated
// line advances it by the time its bytes need. Tests run hours of polling in milliseconds.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double start = 46000.5) : nowMs_(toMs(start)) {}

    double now() const override { return double(nowMs_) / kMsPerDay; }
    void sleepMs(int ms) override { if (ms > 0) nowMs_ += ms; }

    void advanceMs(int64_t ms) { if (ms > 0) nowMs_ += ms; }
    void set(double dateTime) { nowMs_ = toMs(dateTime); }
    int64_t elapsedMsSince(double earlier) const { return nowMs_ - toMs(earlier); }
    int64_t nowMs() const { return nowMs_; }

private:
    static constexpr double kMsPerDay = 86400000.0;
    static int64_t toMs(double d) { return int64_t(d * kMsPerDay + (d >= 0 ? 0.5 : -0.5)); }
    int64_t nowMs_;   // kept in whole milliseconds so sums of waits never drift
};

} // namespace kv::sim
