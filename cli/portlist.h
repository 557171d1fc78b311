// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The ports a --port text names: one, or a list such as "3,5-8" (3, 5, 6, 7 and 8); a port is
// a COM number as the window's list holds it, a device path (/dev/ttyUSB0,
// /dev/serial/by-id/...) or a network address (rfc2217://host:port). Empty, with `error` set,
// for a text that is no list of ports, or one of more ports than a run takes.
[[nodiscard]] QStringList portsFrom(const QString &text, QString *error);

inline constexpr int MostPortsInARun = 64;

// A port as a run opens it: a COM number, which for a device path or an address is the number
// the COM map gives it, or one set aside for this run when the map gives it none; and the name
// messages and records know it by: "COM5", or "COM5 (/dev/ttyUSB0)" when named by its path.
struct ResolvedPort
{
    QString number;
    QString name;
};
[[nodiscard]] ResolvedPort resolvePort(const QString &port);
