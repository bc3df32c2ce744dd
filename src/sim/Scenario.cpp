#include "sim/Scenario.h"

#include <algorithm>

#include "sim/Values.h"

namespace kv::sim {

namespace {
constexpr uint16_t A(uint8_t hi, uint8_t lo) { return ParamMemory::addr(hi, lo); }
constexpr double kUsPerSecond = 1e6;
} // namespace

Scenario::Scenario(Controller& controller, double cycleSeconds)
    : ctl_(controller), cycle_(cycleSeconds > 0 ? cycleSeconds : 0)
{
}

Scenario& Scenario::course(uint16_t address, std::vector<std::pair<double, double>> points)
{
    std::sort(points.begin(), points.end());
    courses_.push_back({address, std::move(points)});
    return *this;
}

Scenario& Scenario::failure(double atSeconds, int areaByte, uint8_t mask, bool on)
{
    Event e;
    e.at = atSeconds;
    e.isFailure = true;
    e.areaByte = areaByte;
    e.mask = mask;
    e.on = on;
    events_.push_back(e);
    return *this;
}

Scenario& Scenario::signal(double atSeconds, Controller::Buffer buffer, int bufferNumber, int bit, bool on)
{
    Event e;
    e.at = atSeconds;
    e.isFailure = false;
    e.buffer = buffer;
    e.bufferNumber = bufferNumber;
    e.bit = bit;
    e.on = on;
    events_.push_back(e);
    return *this;
}

double Scenario::secondsAt(int64_t atUs) const
{
    const double s = double(atUs - startUs_) / kUsPerSecond;
    if (cycle_ <= 0 || s < 0)
        return s;
    const auto cycles = int64_t(s / cycle_);
    return s - double(cycles) * cycle_;
}

double Scenario::valueAt(const std::vector<std::pair<double, double>>& points, double s)
{
    if (points.empty())
        return 0;
    if (s <= points.front().first)
        return points.front().second;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const auto& [t1, v1] = points[i];
        if (s <= t1) {
            const auto& [t0, v0] = points[i - 1];
            return t1 > t0 ? v0 + (v1 - v0) * (s - t0) / (t1 - t0) : v1;
        }
    }
    return points.back().second;
}

void Scenario::apply(const Event& e)
{
    if (e.isFailure)
        ctl_.setFailure(e.areaByte, e.mask, e.on);
    else
        ctl_.setBit(e.buffer, e.bufferNumber, e.bit, e.on);
}

void Scenario::update(int64_t atUs)
{
    if (events_.empty())
        return;
    // Events of a cycle that has passed are applied in order, so every read sees the state
    // the course gives at its moment, however long the line was quiet.
    while (true) {
        const Event& e = events_[next_];
        const auto due = cycleStartUs_ + int64_t(e.at * kUsPerSecond);
        if (due > atUs)
            return;
        apply(e);
        if (++next_ == events_.size()) {
            if (cycle_ <= 0) {
                next_ = events_.size() - 1;
                cycleStartUs_ = INT64_MAX / 2;   // nothing more is due
                return;
            }
            next_ = 0;
            cycleStartUs_ += int64_t(cycle_ * kUsPerSecond);
        }
    }
}

void Scenario::wrap(uint16_t address)
{
    auto original = ctl_.memory().find(address, Face::Serial);
    if (!original)
        return;
    Cell c = *original;
    auto read = original->read;
    c.read = [this, read](const Access& a) {
        update(a.atUs);
        return read(a);
    };
    ctl_.memory().define(address, std::move(c));
}

void Scenario::install()
{
    if (installed_)
        return;
    installed_ = true;
    startUs_ = ctl_.clock().nowUs();
    cycleStartUs_ = startUs_;
    // Events beyond the cycle would never come round.
    if (cycle_ > 0)
        std::erase_if(events_, [this](const Event& e) { return e.at < 0 || e.at >= cycle_; });
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.at < b.at; });

    for (const Course& c : courses_) {
        Cell cell;
        cell.length = 4;
        const auto points = c.points;
        cell.read = [this, points](const Access& a) {
            const double x = valueAt(points, secondsAt(a.atUs));
            const auto b = a.face == Face::Can ? encodeIeeeLE(x) : encodeControllerReal(x);
            return std::vector<uint8_t>(b.begin(), b.end());
        };
        ctl_.memory().define(c.address, std::move(cell));
    }
    wrap(A(0x40, 0x00));   // the status read that comes before each failure read
    wrap(A(0x40, 0x32));
    for (int n = 0; n < 4; ++n)
        for (uint8_t lo : {uint8_t(0x47), uint8_t(0x49), uint8_t(0x4A)})
            wrap(A(uint8_t(0x40 + n), lo));
}

std::unique_ptr<Scenario> Scenario::demo(Controller& controller)
{
    auto s = std::make_unique<Scenario>(controller, 120);
    s->course(kDemoAddress, {{0, 78.4}, {10, 81.2}, {20, 84.0}, {40, 107.5}, {70, 109.0}, {90, 86.0}, {110, 79.5}})
        .failure(30, 0, 0x02, true)
        .failure(60, 0, 0x02, false)
        .failure(80, 8, 0x01, true)
        .failure(80, 16, 0x01, true)
        .failure(100, 8, 0x01, false)
        .failure(100, 16, 0x01, false)
        .signal(45, Controller::Buffer::Input, 0, 3, true)
        .signal(75, Controller::Buffer::Input, 0, 3, false);
    s->install();
    return s;
}

} // namespace kv::sim
