#pragma once
// "Let the user interface process pending messages": the points at which a blocking exchange
// lets operator input through (a "Выход" press sets a stop flag that the running loop checks).

namespace kv {

class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

// For headless use (the command-line tool, most tests).
class NullEventPump final : public EventPump {
public:
    void processEvents() override {}
};

} // namespace kv
