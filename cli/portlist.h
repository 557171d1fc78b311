// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The ports a --port text names: one, or a list such as "3,5-8" (3, 5, 6, 7 and 8). Each
// comes back as a port text the way "Open port" reads one. Empty, with `error` set, for a
// text that is no list of ports, or one of more ports than a run takes.
[[nodiscard]] QStringList portsFrom(const QString &text, QString *error);

inline constexpr int MostPortsInARun = 64;
