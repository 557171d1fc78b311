// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/permissionadvice.h"

#include "platform/escaping.h"

#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

QString permissionAdvice(const QString &path)
{
    // The path may come from the user's settings file, and hold anything.
    const QString device = escapedString(path);
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("Permission denied: %1.").arg(device);
    const struct group *group = ::getgrgid(st.st_gid);
    const QString groupName =
            group ? QString::fromLocal8Bit(group->gr_name) : QString::number(st.st_gid);
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    // Joining root's group would hand out far more than one serial port.
    if (groupMayUse && st.st_gid != 0 && group) {
        return QStringLiteral("Permission denied: %1 belongs to the group \"%2\". Add your user to "
                              "it (sudo usermod -aG %2 $USER), then log out and in again.")
                .arg(device, groupName);
    }
    const struct passwd *owner = ::getpwuid(st.st_uid);
    const QString ownerName =
            owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
    return QStringLiteral("Permission denied: %1 (%2:%3, mode %4) lets no group of users read and "
                          "write it, so joining a group would not help. A udev rule or the "
                          "administrator must grant access, for example the rule KERNEL==\"%5\", "
                          "GROUP=\"dialout\", MODE=\"0660\" in /etc/udev/rules.d/.")
            .arg(device, ownerName, groupName,
                 QStringLiteral("%1").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')),
                 QFileInfo(device).fileName());
}
