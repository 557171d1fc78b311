// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <termios.h>

// A pseudo-terminal pair as a serial line's two ends: the slave in raw mode from the start
// (a cooked slave would echo every byte straight back), the master non-blocking, and neither
// descriptor inherited by a program started later, whose copy would keep the line up after
// it is meant to hang up. The simulated modem, the tests and the benchmarks all start here.
struct RawPty
{
    int master = -1;
    int slave = -1;
    QString slavePath;
};

// `speed` 0 keeps the system's default line speed. Fails with the system's reason.
[[nodiscard]] bool openRawPty(RawPty &pty, QString *error = nullptr, speed_t speed = 0);
