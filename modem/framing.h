// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/mscomm.h"

#include <QString>

// One command on the line as one frame: its text, then CR LF, nothing before it, handed to
// the port in a single write. A closed port refuses the frame (and the status says so)
// rather than keeping it for the next open; so does a process that a termination signal is
// ending.
CommStatus sendFrame(MSComm &comm, const QString &command);
