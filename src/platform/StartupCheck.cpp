#include "platform/StartupCheck.h"

#include <QSharedMemory>

namespace kv {

bool runStartupCheck()
{
    static QSharedMemory section(QStringLiteral("MyMap"));
    if (section.isAttached())
        return true;
    if (section.create(32, QSharedMemory::ReadOnly))
        return true;
    if (section.error() == QSharedMemory::AlreadyExists)
        return section.attach(QSharedMemory::ReadOnly) || true;
    return false;
}

} // namespace kv
