// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The command texts a `korvanet send` run is to send, read and checked before any port is
// opened. A command file is untrusted input: bounded, read without blocking, and nothing in
// it goes out unless every line passes.
namespace CommandFile {

inline constexpr qsizetype MaxFileBytes = 1024 * 1024;
inline constexpr qsizetype MaxLineBytes = 256;

struct Line
{
    int number = 0; // the line in the file, or the place among the command arguments
    QString text;
    bool overlong = false; // the line held more than MaxLineBytes; `text` is cut short
};

// The contents of `path`, or of standard input for "-": a regular file or standard input
// only, never more than MaxFileBytes, read without blocking so that `interrupted` (asked
// between reads) can stop it. Empty `error` on success.
struct Contents
{
    QByteArray bytes;
    QString error;
};
[[nodiscard]] Contents read(const QString &path, const std::function<bool()> &interrupted);

// One text per line, blanks and tabs around it dropped (a CR too, for files written on
// Windows); a "#" at the start of a line or after a blank starts a comment to the end of its
// line, and lines left empty are skipped.
[[nodiscard]] QList<Line> fromFile(const QByteArray &contents);
// Each argument is one text, blanks around it dropped.
[[nodiscard]] QList<Line> fromArguments(const QStringList &arguments);

// Why `line` must not go out; empty when it may. Only the modem's vocabulary passes: its
// queries, actions and constant settings exactly, and its value settings with a value in the
// form the setting takes. Saving and the factory defaults, which the window confirms first,
// pass only when `confirmed`.
[[nodiscard]] QString refusalFor(const Line &line, bool confirmed);

// Every text that passes, the settings with "VALUE" after their "=", for the help.
[[nodiscard]] QStringList acceptedTexts();

} // namespace CommandFile
