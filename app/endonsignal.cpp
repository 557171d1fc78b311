// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/endonsignal.h"

#include "platform/unixsignals.h"
#include "serial/mscomm.h"

#include <QSettings>

#include <csignal>
#include <cstdio>
#include <unistd.h>

bool endOnTerminationSignals(MSComm &comm, QString *error)
{
    auto *unixSignals = new UnixSignals(&comm);
    if (!unixSignals->watch({ SIGTERM, SIGINT, SIGHUP }, error))
        return false;
    QObject::connect(unixSignals, &UnixSignals::received, &comm, [&comm](int) {
        (void)comm.setPortOpen(false);
        QSettings(QStringLiteral("Korvanet"), QStringLiteral("Korvanet")).sync();
        // At once, as "Close software" ends: a handler waiting in a paced wait must not
        // resume and reopen the port or send its next frame.
        std::fflush(nullptr);
        ::_exit(EXIT_SUCCESS);
    });
    return true;
}
