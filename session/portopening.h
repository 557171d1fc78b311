// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/mscomm.h"

#include <QString>

// The fixed message a front end shows for a failed operation of the serial component; the
// status's reason is the detail beneath it.
[[nodiscard]] QString messageFor(int code);

// Opens the port the way "Open port" does: the COM number read from the port text as
// typed, the line settings of the baud text when it is one of the six rates (otherwise
// those of the last open that had one), and a receive event for every byte.
[[nodiscard]] CommStatus openPortFromText(MSComm &comm, const QString &portText,
                                          const QString &baudText);
