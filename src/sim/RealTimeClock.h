#pragma once
#include "sim/VirtualClock.h"

namespace kv::sim {

// Wall time for the demo and the pseudo-terminal controller: the date-time is the local time
// of the computer, the microsecond count runs monotonically, and waits really wait.
class RealTimeClock final : public SimClock {
public:
    double now() const override;
    void sleepMs(int ms) override;
    int64_t nowUs() const override;
    void waitUntilUs(int64_t us) override;
};

} // namespace kv::sim
