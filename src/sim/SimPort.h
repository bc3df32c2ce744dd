#pragma once
#include <memory>
#include <string>

#include "protocol/SerialPort.h"
#include "sim/Controller.h"
#include "sim/Faults.h"
#include "sim/Line.h"
#include "sim/RealTimeClock.h"
#include "sim/Responders.h"

// A simulated controller with everything between it and the computer's port, and the port
// opener that hands out simulated ports: what the configuration value "sim" gives the program.

namespace kv::sim {

struct StationOptions {
    ControllerOptions controller;
    ResponderOptions responder;
    int channelType = 0;     // 0..12: the line equipment (echo, switch, modem, CAN adapter, gateway)
    int switchChannel = 0;   // the switch channel the controller is on (types 7 and 9)
};

class Station {
public:
    Station(SimClock& clock, StationOptions options);

    Controller& controller() { return *ctl_; }
    Faults& faults() { return *faults_; }
    std::shared_ptr<Faults> sharedFaults() { return faults_; }
    LineDevice& device() { return *device_; }
    SimClock& clock() { return clock_; }
    const StationOptions& options() const { return opt_; }

    // A new port onto this station; the station keeps its memory across ports.
    std::unique_ptr<Line> openLine();
    // New protocol or line equipment (the controller and its memory stay).
    void reconfigure(const ResponderOptions& responder, int channelType, int switchChannel);

private:
    void buildDevice();

    SimClock& clock_;
    StationOptions opt_;
    std::shared_ptr<Controller> ctl_;
    std::shared_ptr<Faults> faults_;
    std::shared_ptr<LineDevice> device_;
};

// Opens simulated ports onto one in-process controller. Without a clock of its own it runs in
// real time, as the demo needs.
class SimPortOpener final : public PortOpener {
public:
    explicit SimPortOpener(StationOptions options, SimClock* clock = nullptr);
    std::unique_ptr<SerialPort> open(const std::string& portName) override;
    Station& station() { return *station_; }

private:
    std::unique_ptr<RealTimeClock> ownClock_;
    std::unique_ptr<Station> station_;
};

// Station options from the settings the program keeps: model index, network number,
// protocol (0 traditional, 1 FT1.2, 2 FT1.1), CRC mode, "Channel", channel type, switch
// channel, and the reference file to seed from ("" for the built-in table).
StationOptions stationOptionsFromSettings(int model, int networkNumber, int protocol, int crcMode,
                                          int addressChannel, int channelType, int switchChannel,
                                          const std::string& spravPath);

} // namespace kv::sim
