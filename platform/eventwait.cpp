// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/eventwait.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

namespace EventWait {

void dispatchOnce(QTimer &wake, int msecs)
{
    if (msecs >= 0) {
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(msecs);
    }
    QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents
                                                        | QEventLoop::AllEvents);
}

bool until(const QDeadlineTimer &deadline, const std::function<bool()> &done)
{
    QTimer wake;
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        // Rounded up, so the wake-up never comes before the deadline and the loop never spins.
        const qint64 nsecs = deadline.remainingTimeNSecs();
        dispatchOnce(wake, nsecs < 0 ? -1 : int((nsecs + 999999) / 1000000));
    }
    return true;
}

} // namespace EventWait
