#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "channels/ModemDialogue.h"
#include "protocol/CanBus.h"
#include "protocol/Commands.h"
#include "protocol/Exchange.h"
#include "protocol/LineControl.h"
#include "sim/Controller.h"
#include "sim/Modem.h"
#include "sim/Responders.h"
#include "sim/VirtualClock.h"

// A modem on a simulated line with the simulated controller behind the far modem, on virtual
// time; a trace that keeps its lines; and a pump that plays operator actions at given moments.
namespace kv::test {

class KeptTrace final : public TraceLog {
public:
    void debugLog(const std::string& line) override { lines.push_back(line); }
    bool has(const std::string& line) const
    {
        for (const auto& l : lines)
            if (l == line)
                return true;
        return false;
    }
    std::vector<std::string> lines;
};

// Runs each action once, at the first pump call at or after its moment.
class TimedPump final : public EventPump {
public:
    explicit TimedPump(sim::VirtualClock& clock) : clock_(clock) {}
    void at(int64_t msFromNow, std::function<void()> action)
    {
        actions_.push_back({clock_.nowMs() + msFromNow, std::move(action)});
    }
    void processEvents() override
    {
        ++calls;
        for (auto& a : actions_)
            if (a.run && clock_.nowMs() >= a.atMs) {
                auto run = std::move(a.run);
                a.run = nullptr;
                run();
            }
    }
    int calls = 0;

private:
    struct Action {
        int64_t atMs;
        std::function<void()> run;
    };
    sim::VirtualClock& clock_;
    std::vector<Action> actions_;
};

struct ModemRig {
    explicit ModemRig(int channelType = channel::Hayes, sim::ModemOptions mo = {},
                      sim::Protocol protocol = sim::Protocol::Traditional)
        : type(channelType)
    {
        mo.gsm = channelType == channel::Gsm;
        sim::ControllerOptions co;
        co.baud = 0;   // behind a modem the controller's speed is the far modem's business
        controller = std::make_shared<sim::Controller>(clock, co);
        faults = std::make_shared<sim::Faults>();
        sim::ResponderOptions ro;
        ro.protocol = protocol;
        responder = std::make_shared<sim::SerialResponder>(controller, faults, ro);
        modem = std::make_shared<sim::Modem>(responder, mo);
        line = std::make_unique<sim::Line>(clock, modem, sim::lineOptionsFor(channelType), faults);
        line->setParams(lineParamsAtOpen(line->params(), 5, channelType));
        line->setTimeouts(1000, 500);
        prepareModemLines(*line, clock, channelType);   // as the port's opening leaves them
        engine.state().protocol = protocol == sim::Protocol::Traditional ? prot::Traditional
                                  : protocol == sim::Protocol::Ft12      ? prot::Ft12
                                                                         : prot::Ft11;
    }

    DialRequest request(std::string init, bool words, std::string phone = "123") const
    {
        DialRequest r;
        r.hayes = type != channel::Gsm;
        r.init = modemInitString(init, r.hayes, words);
        r.phone = std::move(phone);
        r.words = words;
        r.connectWait = windowConnectWait(init);
        return r;
    }

    // Seconds of virtual time since `startMs`.
    double secondsSince(int64_t startMs) const { return double(clock.nowMs() - startMs) / 1000.0; }

    int type;
    sim::VirtualClock clock{46000.5};
    TimedPump pump{clock};
    KeptTrace trace;
    ModemState state;
    std::shared_ptr<sim::Controller> controller;
    std::shared_ptr<sim::Faults> faults;
    std::shared_ptr<sim::SerialResponder> responder;
    std::shared_ptr<sim::Modem> modem;
    std::unique_ptr<sim::Line> line;
    Exchange engine{clock, pump, trace};
    CanLink can{engine};
    Commands commands{engine, can};
};

} // namespace kv::test
