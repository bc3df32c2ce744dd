#include "platform/QtEventPump.h"

#include <QCoreApplication>

namespace kv {

void QtEventPump::processEvents()
{
    QCoreApplication::processEvents();
}

} // namespace kv
