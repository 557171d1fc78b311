// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class MSComm;

// SIGTERM, SIGINT and SIGHUP end the process the way closing the window does: the port
// closed and its locks removed, exit status 0, and no frame sent (that belongs to "Close
// software" alone). The work runs from the event loop; the signal handler only wakes it.
// Call once per process.
[[nodiscard]] bool endOnTerminationSignals(MSComm &comm, QString *error);
