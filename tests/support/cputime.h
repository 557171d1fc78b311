// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// CPU time of the whole process so far, in nanoseconds: every thread, whatever it waited on.
[[nodiscard]] qint64 cpuTimeNs();

// CPU milliseconds the whole process spends while it does nothing but dispatch events for
// `ms`. A few for half a second; only a loop that keeps waking up comes near the interval.
[[nodiscard]] qint64 cpuMsWhileIdle(int ms);
