// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The command texts a `korvanet send` run is to send, read and checked before any port is
// opened.
namespace CommandFile {

struct Line
{
    int number = 0; // the line in the file, or the place among the command arguments
    QString text;
};

// One text per line, blanks and tabs around it dropped (a CR too, for files written on
// Windows); a "#" starts a comment to the end of its line, and lines left empty are skipped.
[[nodiscard]] QList<Line> fromFile(const QString &contents);
// Each argument is one text, blanks around it dropped.
[[nodiscard]] QList<Line> fromArguments(const QStringList &arguments);

// Why `text` must not go out; empty when it may. Only the modem's vocabulary passes: its
// queries, actions and constant settings exactly, and its other settings with a value of
// printable ASCII after the "=". Saving and the factory defaults, which the window confirms
// first, pass only when `confirmed`.
[[nodiscard]] QString refusalFor(const QString &text, bool confirmed);

// Every text that passes, the settings with "VALUE" after their "=", for the help.
[[nodiscard]] QStringList acceptedTexts();

} // namespace CommandFile
