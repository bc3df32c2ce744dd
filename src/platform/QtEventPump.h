#pragma once
#include "app/EventPump.h"

namespace kv {

// Lets queued window messages (a "Выход" press, a repaint) through during a blocking exchange.
class QtEventPump final : public EventPump {
public:
    void processEvents() override;
};

} // namespace kv
