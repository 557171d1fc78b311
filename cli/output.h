// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// What the command line prints. Standard output carries the results, one line each as it
// comes; a reader that has gone (`| head -n1`) ends the run as SIGPIPE would, with its ports
// closed and its locks removed, and stderr says how far it got. Messages go to standard
// error, each line after the program's name.
void printLine(const QByteArray &line);
void sayOnStderr(const QString &text);
