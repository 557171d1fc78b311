// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>

namespace Module1 {

// What PumpedWait returns when its interval ran out: the handlers that wait ignore it, and the
// tests hold the wait to it.
inline constexpr qint32 WaitTimeout = 258;

// Holds the calling handler for `interval` milliseconds (or for ever with -1) while the
// window keeps dispatching its events: serial data, timer ticks, clicks. Between events it
// blocks in the event dispatcher, and every wake-up costs exactly one dispatch pass. The
// deadline is fixed at the call, so time spent in handlers dispatched from inside counts
// against it.
qint32 PumpedWait(qint32 interval);

// A 32-bit millisecond tick that wraps after 2^32 ms, like the platform counter the
// deadline arithmetic was written for. Tests replace it to cross 2^31 and 2^32.
using TickSource = std::function<quint32()>;
void setTickSource(TickSource source);
[[nodiscard]] quint32 tickCount();

} // namespace Module1
