#pragma once
#include <memory>
#include <string>
#include <tuple>

#include "platform/DevicePortOpener.h"
#include "protocol/SerialPort.h"

namespace kv {

class Workspace;
namespace sim { class SimPortOpener; class Scenario; }

// "Com1".."Com8" as the configuration maps them in its "Ports" section: a device path opens
// the real device; "sim" binds the port to the simulated controller inside the program,
// whose model, network number, protocol and line follow the settings of the moment. The
// simulated controller keeps its memory across opens, as a real one would.
class WorkspacePortOpener final : public PortOpener {
public:
    explicit WorkspacePortOpener(Workspace& ws);
    ~WorkspacePortOpener() override;
    std::unique_ptr<SerialPort> open(const std::string& portName) override;
    // The in-process controller, once a port was bound to it (else null).
    sim::SimPortOpener* simulated() { return sim_.get(); }
    // The demo's simulated controller plays its two-minute course: the supply temperature
    // leaving its band, a block and a sensor failure, a telesignal leaving its normal state.
    void setDemoScenario(bool on) { demoScenario_ = on; }

private:
    std::unique_ptr<SerialPort> openSimulated();

    Workspace& ws_;
    DevicePortOpener devices_;
    std::unique_ptr<sim::SimPortOpener> sim_;
    std::unique_ptr<sim::Scenario> scenario_;
    bool demoScenario_ = false;
    std::tuple<int, int, int, int, int, int, int> simKey_{};
};

} // namespace kv
