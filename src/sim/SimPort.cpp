#include "sim/SimPort.h"

#include "sim/Modem.h"

namespace kv::sim {

Station::Station(SimClock& clock, StationOptions options)
    : clock_(clock), opt_(std::move(options)),
      ctl_(std::make_shared<Controller>(clock, opt_.controller)),
      faults_(std::make_shared<Faults>())
{
    buildDevice();
}

void Station::buildDevice()
{
    opt_.responder.gateway = opt_.channelType == 12;
    if (opt_.channelType == 11)
        device_ = std::make_shared<CanAdapter>(ctl_, faults_);
    else
        device_ = std::make_shared<SerialResponder>(ctl_, faults_, opt_.responder);
    // Hayes and GSM lines reach the controller through a modem that must be dialled first.
    if (opt_.channelType == 6 || opt_.channelType == 8)
        device_ = std::make_shared<Modem>(device_, modemOptionsFor(opt_.channelType));
}

std::unique_ptr<Line> Station::openLine()
{
    return std::make_unique<Line>(clock_, device_, lineOptionsFor(opt_.channelType, opt_.switchChannel),
                                  faults_);
}

void Station::reconfigure(const ResponderOptions& responder, int channelType, int switchChannel)
{
    opt_.responder = responder;
    opt_.channelType = channelType;
    opt_.switchChannel = switchChannel;
    buildDevice();
}

SimPortOpener::SimPortOpener(StationOptions options, SimClock* clock)
{
    if (!clock) {
        ownClock_ = std::make_unique<RealTimeClock>();
        clock = ownClock_.get();
    }
    station_ = std::make_unique<Station>(*clock, std::move(options));
}

std::unique_ptr<SerialPort> SimPortOpener::open(const std::string&)
{
    return station_->openLine();
}

StationOptions stationOptionsFromSettings(int model, int networkNumber, int protocol, int crcMode,
                                          int addressChannel, int channelType, int switchChannel,
                                          const std::string& spravPath)
{
    StationOptions o;
    o.controller.model = (channelType == 11 || channelType == 12) ? 3 : model;
    o.controller.networkNumber = uint8_t(networkNumber);
    o.responder.protocol = protocol == 1 || protocol == 3 ? Protocol::Ft12
                           : protocol == 2                ? Protocol::Ft11
                                                          : Protocol::Traditional;
    // Behind a channel switch the program reaches the controller through its channel and
    // never selects it by number, so a traditional-protocol controller there is unaddressed.
    if ((channelType == 7 || channelType == 9) && o.responder.protocol == Protocol::Traditional)
        o.controller.networkNumber = 0;
    o.controller.spravPath = spravPath;
    o.controller.baud = 0;   // the demo controller follows whatever speed the settings use
    o.responder.crcMode = crcMode >= 0 && crcMode <= 2 ? crcMode : 0;
    o.responder.addressChannel = addressChannel;
    o.channelType = channelType;
    o.switchChannel = switchChannel;
    return o;
}

} // namespace kv::sim
