#pragma once
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "sim/Controller.h"

// A scripted course of events on a simulated controller, for the demo and for tests of the
// online view: a real parameter that follows a course of values over time (drifting out of
// the operator's tolerance band and back), failures that appear and clear, and signal bits
// that leave their normal state and return.
//
// Times are seconds from the moment the scenario is installed, on the line's clock (virtual
// in tests, real in the demo). With a cycle the whole course repeats for ever.
//
// The scenario takes over the cells it touches: the drifting parameter answers from its
// course, and the failure record and the signal buffers first bring the events due by the
// moment of the read up to date. Nothing runs between reads, so a scenario costs nothing
// while the line is quiet.

namespace kv::sim {

class Scenario {
public:
    Scenario(Controller& controller, double cycleSeconds = 0);

    // The value at `address` (a 4-byte real) follows straight lines between the points
    // (seconds, value); before the first point it holds the first value, after the last the
    // last one (within a cycle).
    Scenario& course(uint16_t address, std::vector<std::pair<double, double>> points);
    // A failure bit of the current failure record (area byte 0..47) switched on or off.
    Scenario& failure(double atSeconds, int areaByte, uint8_t mask, bool on);
    // A bit of a signal buffer set or cleared.
    Scenario& signal(double atSeconds, Controller::Buffer buffer, int bufferNumber, int bit, bool on);

    // Takes over the cells; call once, after the course is described.
    void install();

    double cycle() const { return cycle_; }
    // Seconds since the start, within the current cycle, at a moment of the line's clock.
    double secondsAt(int64_t atUs) const;
    // Applies every event due by `atUs` (reads do this themselves).
    void update(int64_t atUs);

    // The demo's course, repeated every 120 s, on the supply temperature of pipeline 0
    // (80/01/00, address 0x8001) with a tolerance band of 60..100 in mind: rising from 20 s,
    // above 100 from about 34 s to about 78 s, back near 80 by 110 s; a block failure from 30 s to
    // 60 s; a sensor failure from 80 s to 100 s; input bit 3 of buffer 0 set (its normal state
    // being 0) from 45 s to 75 s.
    static std::unique_ptr<Scenario> demo(Controller& controller);
    static constexpr uint16_t kDemoAddress = 0x8001;
    static constexpr double kDemoLow = 60.0;
    static constexpr double kDemoHigh = 100.0;

private:
    struct Event {
        double at = 0;
        bool isFailure = true;
        int areaByte = 0;
        uint8_t mask = 0;
        Controller::Buffer buffer = Controller::Buffer::Input;
        int bufferNumber = 0;
        int bit = 0;
        bool on = false;
    };
    struct Course {
        uint16_t address = 0;
        std::vector<std::pair<double, double>> points;
    };
    static double valueAt(const std::vector<std::pair<double, double>>& points, double s);
    void apply(const Event& e);
    void wrap(uint16_t address);

    Controller& ctl_;
    double cycle_;
    int64_t startUs_ = 0;
    bool installed_ = false;
    std::vector<Event> events_;      // sorted by time at install
    std::vector<Course> courses_;
    std::size_t next_ = 0;           // the next event to apply
    int64_t cycleStartUs_ = 0;
};

} // namespace kv::sim
