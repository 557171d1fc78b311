// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/module1.h"

#include "platform/eventwait.h"

#include <QElapsedTimer>
#include <QTimer>

namespace Module1 {
namespace {

quint32 monotonicTick()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return quint32(clock.elapsed());
}

TickSource &tickSource()
{
    static TickSource source = monotonicTick;
    return source;
}

} // namespace

void setTickSource(TickSource source)
{
    tickSource() = source ? std::move(source) : TickSource(monotonicTick);
}

quint32 tickCount()
{
    return tickSource()();
}

qint32 PumpedWait(qint32 interval)
{
    Q_ASSERT(interval >= -1);
    const bool unlimited = interval == -1;
    // Modulo 2^32 on purpose: the difference read as signed stays right across 2^31 and
    // across the wrap to 0.
    const quint32 deadline = tickCount() + quint32(interval);

    QTimer wake;
    for (;;) {
        int wakeAfter = -1;
        if (!unlimited) {
            const qint32 remaining = qint32(deadline - tickCount());
            // Above the interval means the tick went backwards: treat it as run out.
            if (remaining < 0 || remaining > interval)
                return WaitTimeout;
            // One past the deadline: the tick counts whole milliseconds, so waking at the
            // deadline itself could be up to a millisecond short of the interval.
            wakeAfter = remaining + 1;
        }
        // Sleeps until any event is pending (the wake-up included), then dispatches what is
        // pending, once.
        EventWait::dispatchOnce(wake, wakeAfter);
    }
}

} // namespace Module1
