#pragma once
// Time as the core sees it: injected, so tests run hours of waiting in microseconds.

namespace kv {

class Clock {
public:
    virtual ~Clock() = default;
    // Date-time now: days since 1899-12-30, the fraction being the time of day (local time).
    virtual double now() const = 0;
    // Waits ms milliseconds; a virtual clock simply advances.
    virtual void sleepMs(int ms) = 0;
};

} // namespace kv
