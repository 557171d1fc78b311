// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/framing.h"

#include "platform/unixsignals.h"

CommStatus sendFrame(MSComm &comm, const QString &command)
{
    // Between a termination signal and the event loop's turn to end the process, a handler
    // may still be running: nothing it sends may reach the modem any more.
    if (UnixSignals::arrived() != 0)
        return { CommError::PortNotOpen, QStringLiteral("The run is ending on a signal.") };
    return comm.setOutput(command + QStringLiteral("\r\n"));
}
