// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fdio.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
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

QByteArray privateNameBeside(const QString &path)
{
    const QFileInfo info(path);
    return QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + '.'
            + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
}

int createWhole(const QString &path, QByteArrayView bytes, mode_t mode, ino_t *inode)
{
    // O_EXCL: a file already at the private name, however unlikely, is left alone.
    const QByteArray temporary = privateNameBeside(path);
    const int fd = ::open(temporary.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    struct stat st
    {
    };
    int error = ::fchmod(fd, mode) == 0 ? writeAll(fd, bytes) : errno;
    if (error == 0 && ::fstat(fd, &st) != 0)
        error = errno;
    ::close(fd);
    if (error == 0 && ::link(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    ::unlink(temporary.constData());
    if (error == 0 && inode)
        *inode = st.st_ino;
    return error;
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
