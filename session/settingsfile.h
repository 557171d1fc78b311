// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/ports/portmap.h"

#include <QByteArray>
#include <QString>

// The settings file as its own lines tell it, without Qt's INI reader. That reader gives up
// on some damage without a word (a quote that never closes takes the rest of the file into
// one value), and with it the "Ports" section: a COM number would then lead to a counted
// device instead of the user's own. Read line by line, every well-formed "COMn=device" line
// of the section counts, whatever the lines around it hold.
struct SettingsFileLines
{
    // Empty when every line is one the store writes (a [section], a key=value line, a
    // comment or nothing); otherwise what is wrong with the first line that is not.
    QString damage;
    PortMap::Overrides ports;
};

[[nodiscard]] SettingsFileLines readSettingsLines(const QByteArray &content);
