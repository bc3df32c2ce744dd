#pragma once
#include <cstdint>

#include "app/Clock.h"

namespace kv::sim {

// The time the simulated line and controller live in. Besides the date-time of `Clock` it
// gives a microsecond count, fine enough for one byte at 115200 baud, and a way to wait until
// a given moment of that count.
class SimClock : public Clock {
public:
    virtual int64_t nowUs() const = 0;
    // Returns at `us` (at once when `us` has passed).
    virtual void waitUntilUs(int64_t us) = 0;

    // The date-time that belongs to a moment of the microsecond count.
    double dateTimeAtUs(int64_t us) const { return now() + double(us - nowUs()) / kUsPerDay; }

    static constexpr double kUsPerDay = 86400.0e6;
};

// Time that moves only when someone waits: sleeping advances it at once, and the simulated
// line advances it by the time its bytes need. Tests run hours of polling in milliseconds.
class VirtualClock final : public SimClock {
public:
    explicit VirtualClock(double start = 46000.5) : nowUs_(toUs(start)) {}

    double now() const override { return double(nowUs_) / kUsPerDay; }
    void sleepMs(int ms) override { if (ms > 0) nowUs_ += int64_t(ms) * 1000; }

    int64_t nowUs() const override { return nowUs_; }
    void waitUntilUs(int64_t us) override { if (us > nowUs_) nowUs_ = us; }

    void advanceMs(int64_t ms) { if (ms > 0) nowUs_ += ms * 1000; }
    void advanceUs(int64_t us) { if (us > 0) nowUs_ += us; }
    void set(double dateTime) { nowUs_ = toUs(dateTime); }
    int64_t elapsedMsSince(double earlier) const { return (nowUs_ - toUs(earlier)) / 1000; }
    int64_t nowMs() const { return nowUs_ / 1000; }

private:
    static int64_t toUs(double d) { return int64_t(d * kUsPerDay + (d >= 0 ? 0.5 : -0.5)); }
    int64_t nowUs_;   // whole microseconds, so sums of waits never drift
};

} // namespace kv::sim
