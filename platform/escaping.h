// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Bytes and texts from outside (a modem, a file, another user's process) on their way to a
// terminal, a transcript or JSON, one scheme for all: printable ASCII stays as it is, CR and
// LF become \r and \n, a backslash \\, and every other byte \xNN. Nothing that comes out can
// move a terminal's cursor, change its title or split a line.
[[nodiscard]] QByteArray escapedBytes(QByteArrayView bytes);
// A text as its UTF-8 bytes, escaped alike.
[[nodiscard]] QByteArray escapedText(const QString &text);
// The same as a text, for a message that shows a text from outside (a path from the settings,
// another user's process name).
[[nodiscard]] QString escapedString(const QString &text);
// Every byte, or character, printable ASCII (0x20 to 0x7e): what a modem's line holds at the
// right rate, and what a command text may hold. True for nothing at all.
[[nodiscard]] bool isPrintableAscii(QByteArrayView bytes);
[[nodiscard]] bool isPrintableAscii(QStringView text);
// At most the first `limit` bytes, escaped alike, and "..." after them when there were more:
// another party's words quoted in a one-line message.
[[nodiscard]] QByteArray escapedExcerpt(QByteArrayView bytes, qsizetype limit = 80);
// The same bytes as a JSON string, quotes included: each byte is the character of that code
// (Latin-1), and everything outside printable ASCII is written as \r, \n or \u00NN, so a
// C1 control (0x9b is a terminal's CSI) never reaches a terminal raw.
[[nodiscard]] QByteArray jsonString(QByteArrayView bytes);
