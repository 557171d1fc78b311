// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <termios.h>

// The physical side of the modem's serial port: which speeds its UART can run at and what it
// makes of bytes sent at another one.
namespace SerialLine {

[[nodiscard]] bool isSupportedRate(int baud);

// 0 for a speed the modem's UART cannot run at.
[[nodiscard]] speed_t speedFor(int baud);
[[nodiscard]] int rateOf(speed_t speed);

// What a UART receives when the sender runs at another speed: fewer bytes than were sent
// (start bits land mid-character), each one a framing-error pattern. None of them is printable,
// so nothing of it can pass for an answer.
[[nodiscard]] QByteArray garble(qsizetype sentBytes);

} // namespace SerialLine
