// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/locking/portholders.h"

#include "platform/escaping.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Files under /proc report no size; they are read until they end, or up to `limit` bytes.
QByteArray readProcFile(const QByteArray &path, qsizetype limit = -1)
{
    QByteArray content;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return content;
    char buffer[4096];
    ssize_t n = 0;
    while ((limit < 0 || content.size() < limit) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, n);
    ::close(fd);
    return limit < 0 ? content : content.left(limit);
}

// A process's name is whatever its owner chose, and reaches root's terminal and window: it is
// shown escaped, and only as much of it as tells which program it is.
QString shownName(const QByteArray &name)
{
    constexpr qsizetype Longest = 64;
    return QString::fromLatin1(escapedBytes(name.left(Longest)))
            + (name.size() > Longest ? QString(u'\u2026') : QString());
}

// The numbered entries of a /proc folder: the processes, or the descriptors of one.
template <typename Visit>
void forEachNumber(int folder, Visit visit)
{
    DIR *dir = ::fdopendir(folder);
    if (!dir) {
        ::close(folder);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        bool ok = false;
        const int number = QByteArray(entry->d_name).toInt(&ok);
        if (ok)
            visit(::dirfd(dir), number, entry->d_name);
    }
    ::closedir(dir);
}

// Whether descriptor `name` of a process, in its fd folder, is the master of pseudo-terminal
// number `ptyIndex`: the kernel says which one in the descriptor's fdinfo.
bool isMasterOf(int fdFolder, const char *name, pid_t pid, int ptyIndex)
{
    char target[64] = {};
    const ssize_t length = ::readlinkat(fdFolder, name, target, sizeof target - 1);
    const QByteArray link(target, length > 0 ? length : 0);
    if (link != "/dev/ptmx" && link != "/dev/pts/ptmx")
        return false;
    const QByteArray info = readProcFile("/proc/" + QByteArray::number(pid) + "/fdinfo/" + name);
    for (const QByteArray &line : info.split('\n')) {
        if (line.startsWith("tty-index:"))
            return line.mid(10).trimmed().toInt() == ptyIndex;
    }
    return false;
}

} // namespace

namespace PortHolders {

QString describe(pid_t pid)
{
    const QByteArray proc = "/proc/" + QByteArray::number(pid);
    QByteArray name = readProcFile(proc + "/comm", 64).trimmed();
    // The kernel keeps 15 bytes of the name; the command line has all of it.
    if (name.size() == 15) {
        const QByteArray command = readProcFile(proc + "/cmdline", 4096);
        QByteArray first = command.left(command.indexOf('\0'));
        first = first.mid(first.lastIndexOf('/') + 1);
        if (first.startsWith(name))
            name = first;
    }
    if (name.isEmpty())
        return QStringLiteral("process %1").arg(pid);
    return QStringLiteral("%1 (PID %2)").arg(shownName(name)).arg(pid);
}

QString describe(const QList<pid_t> &pids)
{
    QStringList names;
    for (const pid_t pid : pids)
        names.append(describe(pid));
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QList<pid_t> flockHolders(const struct stat &node)
{
    // "1: FLOCK  ADVISORY  WRITE 4242 00:1a:6 0 EOF": the holder's PID, then the node as
    // major:minor (hex) of its file system and inode. "->" lines are waiters, not holders.
    QList<pid_t> holders;
    for (const QByteArray &line : readProcFile("/proc/locks").split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        const QList<QByteArray> where = fields[5].split(':');
        if (where.size() != 3)
            continue;
        bool ok[4] = {};
        const pid_t pid = fields[4].toInt(&ok[0]);
        const uint major = where[0].toUInt(&ok[1], 16);
        const uint minor = where[1].toUInt(&ok[2], 16);
        const qulonglong inode = where[2].toULongLong(&ok[3]);
        if (ok[0] && ok[1] && ok[2] && ok[3] && major == ::major(node.st_dev)
            && minor == ::minor(node.st_dev) && inode == node.st_ino && !holders.contains(pid))
            holders.append(pid);
    }
    return holders;
}

QList<pid_t> openers(const struct stat &node, const QString &device)
{
    int ptyIndex = -1;
    if (device.startsWith(u"/dev/pts/")) {
        bool ok = false;
        ptyIndex = device.mid(9).toInt(&ok);
        if (!ok)
            ptyIndex = -1;
    }
    const pid_t self = ::getpid();
    QList<pid_t> result;
    forEachNumber(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC),
                  [&](int procFolder, int pid, const char *pidName) {
                      if (pid == self)
                          return;
                      const int fdFolder =
                              ::openat(procFolder, (QByteArray(pidName) + "/fd").constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                      if (fdFolder < 0)
                          return; // another user's process: not ours to look into
                      bool holds = false;
                      bool farEnd = false;
                      forEachNumber(fdFolder, [&](int folder, int, const char *name) {
                          struct stat st
                          {
                          };
                          if (::fstatat(folder, name, &st, 0) == 0 && S_ISCHR(st.st_mode)
                              && st.st_rdev == node.st_rdev)
                              holds = true;
                          else if (ptyIndex >= 0 && isMasterOf(folder, name, pid, ptyIndex))
                              farEnd = true;
                      });
                      if (holds && !farEnd)
                          result.append(pid);
                  });
    return result;
}

} // namespace PortHolders
