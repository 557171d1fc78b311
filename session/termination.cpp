// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/termination.h"

#include "platform/processend.h"
#include "platform/unixsignals.h"
#include "serial/mscomm.h"

#include <csignal>

bool endOnTerminationSignals(MSComm &comm, QString *error)
{
    auto *unixSignals = new UnixSignals(&comm);
    if (!unixSignals->watch({ SIGTERM, SIGINT, SIGHUP }, error))
        return false;
    QObject::connect(unixSignals, &UnixSignals::received, &comm, [&comm](int) {
        (void)comm.setPortOpen(false);
        // At once, as "Close software" ends: a handler waiting in a paced wait must not
        // resume and reopen the port or send its next frame. The settings need nothing more:
        // every write to them is on the disk already.
        endProcessNow(EXIT_SUCCESS);
    });
    return true;
}
