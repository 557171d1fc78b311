// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fdio.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

int writeAll(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

QString fileKind(mode_t type)
{
    switch (type & S_IFMT) {
    case S_IFREG:
        return QStringLiteral("a file");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("no kind of file known here");
    }
}
