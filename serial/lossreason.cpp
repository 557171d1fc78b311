// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/lossreason.h"

#include "platform/escaping.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <termios.h>

QString lossReason(const QString &device, int fd, const QString &fallback)
{
    // A line that has been hung up answers every terminal request with an error.
    termios settings{};
    const bool hungUp = fd >= 0 && ::tcgetattr(fd, &settings) != 0;
    const int lineError = errno;
    const QString shown = escapedString(device);
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(device).constData(), &st) != 0) {
        const int nodeError = errno;
        return QStringLiteral("%1 was disconnected: the device no longer "
                              "exists (%2).")
                .arg(shown, qt_error_string(nodeError));
    }
    if (hungUp) {
        return QStringLiteral("%1 went away: the line was hung up (%2).")
                .arg(shown, qt_error_string(lineError));
    }
    return QStringLiteral("%1 failed: %2").arg(shown, fallback);
}
