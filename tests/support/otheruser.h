// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// nobody: the user (and group) a test runs a program as when root would see too much.
inline constexpr uid_t Nobody = 65534;

// `command` run as nobody through setpriv (util-linux), in no supplementary group, or in
// `group` alone when it is given.
[[nodiscard]] inline QStringList asNobody(const QStringList &command, int group = -1)
{
    return QStringList{ QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(Nobody),
                        QStringLiteral("--regid=%1").arg(Nobody),
                        group < 0 ? QStringLiteral("--clear-groups")
                                  : QStringLiteral("--groups=%1").arg(group) }
    + command;
}
