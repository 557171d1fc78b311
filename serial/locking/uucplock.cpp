// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/locking/uucplock.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readSmallFile(int fd)
{
    char buffer[128];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

namespace UucpLock {

QList<QString> folders()
{
    // /run/lock is today's place; /var/lock the older one, and usually a link to it.
    QList<QString> result;
    for (const char *folder : { "/run/lock", "/var/lock" }) {
        const QString real = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (!real.isEmpty() && QFileInfo(real).isDir() && !result.contains(real))
            result.append(real);
    }
    return result;
}

QList<QString> paths(const QString &device)
{
    QString belowDev = device;
    if (belowDev.startsWith(u"/dev/"))
        belowDev.remove(0, 5);
    belowDev.replace(u'/', u'_');
    const QString baseName = QFileInfo(device).fileName();

    QList<QString> result;
    for (const QString &folder : folders()) {
        result.append(folder + QStringLiteral("/LCK..") + belowDev);
        if (baseName != belowDev)
            result.append(folder + QStringLiteral("/LCK..") + baseName);
    }
    return result;
}

std::optional<pid_t> pidIn(const QByteArray &content)
{
    // The ASCII form: blanks, the digits, the end of the line; whatever follows the first
    // line (Qt's own lock files carry more lines) is not the PID's business.
    const QByteArray firstLine = content.left(content.indexOf('\n')).trimmed();
    bool ascii = !firstLine.isEmpty();
    for (const char c : firstLine)
        ascii = ascii && c >= '0' && c <= '9';
    if (ascii) {
        bool ok = false;
        const qlonglong pid = firstLine.toLongLong(&ok);
        if (ok && pid > 0 && pid <= std::numeric_limits<pid_t>::max())
            return pid_t(pid);
        return std::nullopt;
    }
    // The binary form is the PID's own four bytes and nothing else.
    if (content.size() == qsizetype(sizeof(int))) {
        int pid = 0;
        std::memcpy(&pid, content.constData(), sizeof pid);
        if (pid > 0)
            return pid_t(pid);
    }
    return std::nullopt;
}

Found inspect(const QString &path)
{
    Found found;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        // A file that cannot be read still locks the device for whoever made it.
        found.exists = errno != ENOENT;
        return found;
    }
    found.exists = true;
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0)
        found.inode = st.st_ino;
    found.pid = pidIn(readSmallFile(fd));
    ::close(fd);
    return found;
}

bool isRunning(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return false;
    // A zombie has ended; only its parent has not collected it yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.read(512);
    const qsizetype nameEnd = line.lastIndexOf(')');
    return nameEnd < 0 || line.mid(nameEnd + 2, 1) != "Z";
}

int removeStale(const QString &path, ino_t inode)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT ? 0 : errno;
    if (st.st_ino != inode)
        return EEXIST;
    return ::unlink(name.constData()) == 0 || errno == ENOENT ? 0 : errno;
}

Created create(const QString &path, ino_t *inode)
{
    // Written whole under a name of its own, then linked into place: link() fails, rather
    // than replaces, when the name is taken.
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = QFile::encodeName(
            QStringLiteral("%1/LTMP.%2").arg(info.absolutePath()).arg(::getpid()));
    const int fd = ::open(temporary.constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return Created::NotPossible;
    // 0644 whatever the umask: every program must be able to read whose lock it is.
    const bool written = ::fchmod(fd, 0644) == 0
            && writeAll(fd,
                        QByteArray::number(qlonglong(::getpid())).rightJustified(10, ' ') + '\n');
    struct stat st
    {
    };
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!written || !known) {
        ::unlink(temporary.constData());
        return Created::NotPossible;
    }
    const int linked = ::link(temporary.constData(), target.constData());
    const int linkError = errno;
    ::unlink(temporary.constData());
    if (linked != 0)
        return linkError == EEXIST ? Created::Taken : Created::NotPossible;
    *inode = st.st_ino;
    return Created::Yes;
}

void removeOwn(const QString &path, ino_t inode)
{
    const Found found = inspect(path);
    if (found.exists && found.inode == inode && found.pid == ::getpid())
        ::unlink(QFile::encodeName(path).constData());
}

} // namespace UucpLock
