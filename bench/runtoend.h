// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>

namespace bench {

// Runs `program` to its end on this process's event loop, so that the simulated modems here
// answer it meanwhile; `clock` starts the moment before it does.
inline void runToEnd(QProcess &process, const QString &program, const QStringList &arguments,
                     QElapsedTimer &clock)
{
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    clock.start();
    process.start(program, arguments);
    loop.exec();
}

} // namespace bench
