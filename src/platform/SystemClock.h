#pragma once
#include "app/Clock.h"

namespace kv {

// Wall-clock local time and real sleeping, for the desktop program and the command-line tool.
class SystemClock final : public Clock {
public:
    double now() const override;
    void sleepMs(int ms) override;
};

} // namespace kv
