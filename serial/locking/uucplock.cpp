// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/locking/uucplock.h"

#include "platform/fdio.h"

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

// Reads what a regular file holds, up to `limit` bytes.
QByteArray readAtMost(int fd, qint64 limit)
{
    QByteArray content(limit, Qt::Uninitialized);
    qint64 done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd, content.data() + done, size_t(limit - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    content.truncate(done);
    return content;
}

// Moves the file at `path` aside under a private name, so that the file judged is the file
// removed, however long the judging takes; when `mayGo` says the moved file must stay, it is
// put back, without taking the name from whoever has taken it meanwhile. Comparing inode
// numbers instead would not do: ext4 hands a freed one out again at once.
template <typename Judge>
int removeIf(const QString &path, Judge mayGo)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray aside = privateNameBeside(path);
    if (::rename(name.constData(), aside.constData()) != 0)
        return errno == ENOENT ? 0 : errno;
    const UucpLock::Found moved = UucpLock::inspect(QFile::decodeName(aside));
    if (moved.isLockFile() && mayGo(moved)) {
        ::unlink(aside.constData());
        return 0;
    }
    // Fails when another program has locked the name since; its lock counts, not this one.
    [[maybe_unused]] const int putBack = ::link(aside.constData(), name.constData());
    ::unlink(aside.constData());
    return EEXIST;
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

bool Found::isLockFile() const
{
    return exists && error == 0 && type == S_IFREG && size <= LargestLock;
}

Found inspect(const QString &path)
{
    Found found;
    // Without O_NONBLOCK a FIFO would hold the open until someone writes to it; without
    // O_NOFOLLOW a link would lead anywhere.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // A file that cannot be read still locks the device for whoever made it; a name too
        // long for the file system is one that nobody can have taken.
        const int error = errno;
        found.exists = error != ENOENT && error != ENAMETOOLONG;
        found.type = error == ELOOP ? S_IFLNK : 0;
        found.error = error == ELOOP || error == ENOENT ? 0 : error;
        return found;
    }
    found.exists = true;
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0) {
        found.inode = st.st_ino;
        found.type = st.st_mode & S_IFMT;
        found.size = st.st_size;
    } else {
        found.error = errno;
    }
    if (found.isLockFile())
        found.pid = pidIn(readAtMost(fd, LargestLock));
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

int removeStale(const QString &path, pid_t pid)
{
    return removeIf(path, [pid](const Found &moved) {
        return moved.pid == pid && (pid == ::getpid() || !isRunning(pid));
    });
}

Created create(const QString &path, ino_t *inode, int *error)
{
    // 0644 whatever the umask: every program must be able to read whose lock it is.
    *error = createWhole(path,
                         QByteArray::number(qlonglong(::getpid())).rightJustified(10, ' ') + '\n',
                         0644, inode);
    if (*error == 0)
        return Created::Yes;
    return *error == EEXIST ? Created::Taken : Created::NotPossible;
}

void removeOwn(const QString &path, ino_t inode)
{
    (void)removeIf(path, [inode](const Found &moved) {
        return moved.inode == inode && moved.pid == ::getpid();
    });
}

} // namespace UucpLock
