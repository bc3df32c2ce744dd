#include "platform/QtEventPump.h"

#include <QCoreApplication>

namespace kv {

void QtEventPump::processEvents()
{
    ++depth_;
    QCoreApplication::processEvents();
    --depth_;
}

} // namespace kv
