// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/framing.h"

CommStatus sendFrame(MSComm &comm, const QString &command)
{
    return comm.setOutput(command + QStringLiteral("\r\n"));
}
