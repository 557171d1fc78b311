// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the command line asked for, checked; the modes take it from here.
struct CliOptions
{
    QString portText;
    QString baudText;
    int timeoutMs = 0;
    QString transcriptPath;
    bool json = false;
    bool yes = false;
    bool keepGoing = false;
    QString file;
    QStringList commands;
};
