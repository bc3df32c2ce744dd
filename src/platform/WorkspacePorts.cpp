#include "platform/WorkspacePorts.h"

#include "app/Workspace.h"
#include "sim/Scenario.h"
#include "sim/SimPort.h"

namespace kv {

WorkspacePortOpener::WorkspacePortOpener(Workspace& ws) : ws_(ws)
{
    devices_.setFallback([this](const std::string& value) -> std::unique_ptr<SerialPort> {
        if (value == kPortSimulated)
            return openSimulated();
        return nullptr;
    });
}

WorkspacePortOpener::~WorkspacePortOpener() = default;

std::unique_ptr<SerialPort> WorkspacePortOpener::open(const std::string& portName)
{
    std::map<std::string, std::string> ports;
    const PortPaths& paths = ws_.settings().ports;
    for (std::size_t i = 0; i < paths.device.size(); ++i)
        ports[std::string(kPortNames[i])] = paths.device[i];
    devices_.setPorts(std::move(ports));
    return devices_.open(portName);
}

std::unique_ptr<SerialPort> WorkspacePortOpener::openSimulated()
{
    const ChannelSettings& s = ws_.settings();
    const auto key = std::make_tuple(int(s.blok1), int(s.setNumber), int(s.prot), int(s.crc), int(s.channel),
                                     int(s.channelType), int(s.multNumb));
    if (!sim_ || key != simKey_) {
        // A different controller (model, address or line): a fresh one, seeded from the
        // reference file of the work folder so its parameters match what the operator sees.
        scenario_.reset();
        sim_ = std::make_unique<sim::SimPortOpener>(sim::stationOptionsFromSettings(
            s.blok1, s.setNumber, s.prot, s.crc, s.channel, s.channelType, s.multNumb, ws_.filePath("Sprav.txt")));
        simKey_ = key;
        if (demoScenario_)
            scenario_ = sim::Scenario::demo(sim_->station().controller());
    }
    return sim_->open("sim");
}

} // namespace kv
