#pragma once
#include "app/EventPump.h"

namespace kv {

// Lets queued window messages (a "Выход" press, a repaint, a timer) through during a blocking
// exchange. The depth tells a timer that fires in there that the line is busy, so it never
// starts an exchange inside another one.
class QtEventPump final : public EventPump {
public:
    void processEvents() override;
    static int depth() { return depth_; }

private:
    static inline int depth_ = 0;
};

} // namespace kv
