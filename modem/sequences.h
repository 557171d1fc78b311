// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/task.h"
#include "serial/mscomm.h"

#include <QString>

class ModemPort;

// The commands that take more than one frame, or a pause the modem needs after them. Each is
// a Task: the window runs it to its end on the spot, the command line awaits it beside others.
namespace Sequences {

// How long the modem needs after a frame that changes its line or its stored settings.
inline constexpr int SettleMsecs = 200;

// Closes and reopens the port with a pause before each step, so a new line setting takes
// effect on both ends.
Task<> reopen(ModemPort &port);

// Reopens the port, then asks for the serial parameters: the answer is read at the rate
// the port now has.
Task<CommStatus> readSerialParams(ModemPort &port);

// Sends the new serial parameters ("19200" + "8N1"), then reopens at the rate the front
// end now uses.
Task<CommStatus> setSerialParams(ModemPort &port, QString value);

// Makes the modem keep its settings across a power cycle.
Task<CommStatus> saveSettings(ModemPort &port);

// Restores the factory settings and saves them. True only when both frames went out: a
// port closed meanwhile must not read as restored.
Task<bool> restoreFactoryDefaults(ModemPort &port);

} // namespace Sequences
