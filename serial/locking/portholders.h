// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <sys/stat.h>

// Who holds a serial device, from /proc, so that a refusal can name the program.
namespace PortHolders {

// "minicom (PID 4242)"; "process 4242" when /proc does not tell its name.
[[nodiscard]] QString describe(pid_t pid);
// "screen (PID 9)", "screen (PID 9) and cat (PID 12)".
[[nodiscard]] QString describe(const QList<pid_t> &pids);

// The processes that hold a flock() on the device node `node` (its stat), from /proc/locks.
[[nodiscard]] QList<pid_t> flockHolders(const struct stat &node);

// The processes other than this one that have the device open, as far as this user may look
// into them. For a pseudo-terminal, the process that holds its master is the far end of the
// line rather than a user of the port, and is left out.
[[nodiscard]] QList<pid_t> openers(const struct stat &node, const QString &device);

} // namespace PortHolders
