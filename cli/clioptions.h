// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the command line asked for, checked; the modes take it from here.
struct CliOptions
{
    QStringList ports; // each as given: "3", and more for the modes that take a list
    QString baudText;
    bool baudGiven = false; // --baud was on the command line
    bool wait = false; // take modem after modem as their devices appear
    int timeoutMs = 0;
    QString transcriptPath;
    bool json = false;
    bool yes = false;
    bool keepGoing = false;
    QString file;
    QStringList commands;
    QString output; // export: the profile's file, or the folder for several units
    QString profile; // apply
    bool save = false;
    bool all = false;
    QString record;
};
