// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/cputime.h"

#include <QEventLoop>
#include <QTimer>

#include <ctime>

qint64 cpuTimeNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

qint64 cpuMsWhileIdle(int ms)
{
    const qint64 before = cpuTimeNs();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (cpuTimeNs() - before) / 1000000;
}
