// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDeadlineTimer>

#include <functional>

class QTimer;

// Waiting while the thread's event loop goes on: the window's paced wait and the command
// line's wait for a reply both stand on these, so neither ever spins nor sleeps blind.
namespace EventWait {

// One blocking pass: sleeps until any event is pending or `msecs` have passed (-1: no limit),
// then dispatches what is pending, once. `wake` is the caller's timer for the limit.
void dispatchOnce(QTimer &wake, int msecs);

// Dispatches events until `done` holds or `deadline` passes; returns whether `done` holds.
bool until(const QDeadlineTimer &deadline, const std::function<bool()> &done);

} // namespace EventWait
