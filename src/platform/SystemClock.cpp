#include "platform/SystemClock.h"

#include <QDateTime>
#include <QThread>

namespace kv {

double SystemClock::now() const
{
    // Local civil time as days since 1899-12-30, as the controller and the files count it.
    const QDateTime dt = QDateTime::currentDateTime();
    const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(dt.date());
    const double ms = dt.time().msecsSinceStartOfDay();
    return double(days) + ms / 86400000.0;
}

void SystemClock::sleepMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace kv
