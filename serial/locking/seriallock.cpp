// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/locking/seriallock.h"

#include "serial/locking/portholders.h"
#include "platform/escaping.h"
#include "platform/fdio.h"
#include "serial/locking/uucplock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Refusal = SerialLock::Refusal;

// The devices claimed in this process: its PID in a lock file is then no leftover.
QSet<QString> &claimedHere()
{
    static QSet<QString> devices;
    return devices;
}

// How a refusal names the device: as the user gave it, and by its real name when that differs.
// Both may hold anything a settings file can, control characters included.
QString subject(const QString &named, const QString &device)
{
    return named == device
            ? escapedString(device)
            : QStringLiteral("%1, which is %2,").arg(escapedString(named), escapedString(device));
}

Refusal inUse(const QString &named, const QString &device, const QList<pid_t> &holders)
{
    if (holders.isEmpty())
        return { Refusal::Kind::InUse,
                 QStringLiteral("%1 is in use by another program.").arg(subject(named, device)) };
    return { Refusal::Kind::InUse,
             QStringLiteral("%1 is in use by %2.")
                     .arg(subject(named, device), PortHolders::describe(holders)),
             holders };
}

// Whether this user may delete `path`: a folder it can write to, and in a sticky folder
// such as /run/lock, a file or a folder of its own.
bool mayRemove(const QString &path)
{
    if (::geteuid() == 0)
        return true;
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat dir
    {
    };
    struct stat file
    {
    };
    if (::stat(folder.constData(), &dir) != 0 || ::access(folder.constData(), W_OK | X_OK) != 0)
        return false;
    if (!(dir.st_mode & S_ISVTX))
        return true;
    return dir.st_uid == ::geteuid()
            || (::lstat(QFile::encodeName(path).constData(), &file) == 0
                && file.st_uid == ::geteuid());
}

QString removeCommand(const QString &path)
{
    return (mayRemove(path) ? QStringLiteral("rm ") : QStringLiteral("sudo rm "))
            + escapedString(path);
}

// What is at a lock file's name that keeps the device from being locked, when it is not a
// lock that names a process: never removed here, since nothing proves it stale.
QString obstacle(const UucpLock::Found &found)
{
    if (found.error != 0)
        return QStringLiteral("cannot be read (%1)").arg(qt_error_string(found.error));
    if (found.type != S_IFREG)
        return QStringLiteral("is %1, not a lock file").arg(fileKind(found.type));
    if (found.size > UucpLock::LargestLock)
        return QStringLiteral("is %1 bytes long, more than any lock file").arg(found.size);
    return QStringLiteral("names no process");
}

// Qt's own lock for a claimed port (see openPath()) is left behind when the process is
// killed; its name says whose it was.
void removeQtLeftovers()
{
    const QString prefix = QStringLiteral("LCK.._proc_");
    for (const QString &folder : UucpLock::folders()) {
        const QStringList names = QDir(folder).entryList({ prefix + QStringLiteral("*_fd_*") },
                                                         QDir::Files | QDir::System);
        for (const QString &name : names) {
            bool ok = false;
            const pid_t pid = name.mid(prefix.size()).section(u'_', 0, 0).toInt(&ok);
            if (ok && pid > 0 && !UucpLock::isRunning(pid))
                QFile::remove(folder + u'/' + name);
        }
    }
}

} // namespace

SerialLock::~SerialLock()
{
    release();
}

std::optional<Refusal> SerialLock::acquire(const QString &named)
{
    release();
    // Any two names of one device must meet at the same lock files.
    const QString device = QFileInfo(named).canonicalFilePath();
    if (device.isEmpty())
        return Refusal{ Refusal::Kind::Failed,
                        QStringLiteral("%1 does not exist.").arg(escapedString(named)) };
    removeQtLeftovers();
    std::optional<Refusal> refusal = clearTheWay(device, named);
    if (!refusal)
        refusal = lockFiles(device, named);
    if (!refusal)
        refusal = openDevice(device, named);
    if (refusal) {
        release();
        return refusal;
    }
    m_device = device;
    claimedHere().insert(device);
    return std::nullopt;
}

std::optional<Refusal> SerialLock::clearTheWay(const QString &device, const QString &named)
{
    for (const QString &path : UucpLock::paths(device)) {
        // A stale lock is removed and looked at again: someone may have taken the name since.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const UucpLock::Found found = UucpLock::inspect(path);
            if (!found.exists)
                break;
            if (!found.isLockFile() || !found.pid) {
                return Refusal{ Refusal::Kind::Locked,
                                QStringLiteral(
                                        "%1 cannot be locked: %2 %3. If no other program uses the "
                                        "port, remove it: %4")
                                        .arg(subject(named, device), escapedString(path),
                                             obstacle(found), removeCommand(path)) };
            }
            const pid_t pid = *found.pid;
            const bool ours = pid == ::getpid();
            if ((ours && claimedHere().contains(device)) || (!ours && UucpLock::isRunning(pid)))
                return inUse(named, device, { pid });
            const int error = UucpLock::removeStale(path, pid);
            if (error == EEXIST)
                continue;
            if (error != 0) {
                return Refusal{
                    Refusal::Kind::Locked,
                    QStringLiteral("%1 is locked by %2, left behind by PID %3, which has ended. "
                                   "This user may not remove that file (%4); remove it with: %5")
                            .arg(subject(named, device), escapedString(path))
                            .arg(pid)
                            .arg(qt_error_string(error), removeCommand(path))
                };
            }
        }
    }
    return std::nullopt;
}

std::optional<Refusal> SerialLock::lockFiles(const QString &device, const QString &named)
{
    // A folder this user cannot write to takes no lock from anyone; flock() and exclusive
    // mode still keep the port, but the user is told.
    for (const QString &path : UucpLock::paths(device)) {
        ino_t inode = 0;
        int error = 0;
        switch (UucpLock::create(path, &inode, &error)) {
        case UucpLock::Created::Yes:
            m_lockFiles.append({ path, inode });
            break;
        case UucpLock::Created::Taken: {
            // Another program took the name in the moment since it was free.
            const UucpLock::Found found = UucpLock::inspect(path);
            const bool known = found.pid && UucpLock::isRunning(*found.pid);
            return inUse(named, device, known ? QList<pid_t>{ *found.pid } : QList<pid_t>{});
        }
        case UucpLock::Created::NotPossible:
            m_warnings.append(
                    QStringLiteral("%1 has no lock file %2 (%3): programs that go by lock files "
                                   "alone will not see that it is in use.")
                            .arg(subject(named, device), escapedString(path),
                                 qt_error_string(error)));
            break;
        }
    }
    return std::nullopt;
}

std::optional<Refusal> SerialLock::openDevice(const QString &device, const QString &named)
{
    const QByteArray path = QFile::encodeName(device);
    const auto failed = [&device](int error) {
        return Refusal{ Refusal::Kind::Failed,
                        QStringLiteral("%1: %2").arg(escapedString(device),
                                                     qt_error_string(error)) };
    };
    struct stat node
    {
    };
    if (::stat(path.constData(), &node) != 0)
        return failed(errno);

    m_fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        // Another program has put the device in exclusive mode.
        if (errno == EBUSY)
            return inUse(named, device, PortHolders::openers(node, device));
        return failed(errno);
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return failed(errno);
        const QList<pid_t> holders = PortHolders::flockHolders(node);
        return inUse(named, device,
                     holders.isEmpty() ? PortHolders::openers(node, device) : holders);
    }
#ifdef TIOCGEXCL
    // Exclusive mode does not stop root; whoever set it still holds the port, unless it is
    // left over: a pseudo-terminal keeps the mode after its holder died, for as long as its
    // master is open.
    int exclusive = 0;
    if (::ioctl(m_fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        if (const QList<pid_t> holders = PortHolders::openers(node, device); !holders.isEmpty())
            return inUse(named, device, holders);
    }
#endif
    return std::nullopt;
}

void SerialLock::release()
{
    for (const LockFile &lock : std::as_const(m_lockFiles))
        UucpLock::removeOwn(lock.path, lock.inode);
    m_lockFiles.clear();
    m_warnings.clear();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_device.isEmpty())
        claimedHere().remove(m_device);
    m_device.clear();
}

QString SerialLock::openPath() const
{
    // The same device through this process's own descriptor. Qt names its lock file after
    // this path, in a folder every user may write to: a name known in advance could be taken
    // there first, and Qt would then report the port busy, or wait for good on a FIFO. Runs of
    // "." and empty components cost the kernel nothing and put 64 random bits into the name:
    // LCK.._proc_<pid>_fd_._.__..._<n>, which nobody can take before Qt does.
    QString path = QStringLiteral("/proc/%1/fd").arg(::getpid());
    quint64 bits = QRandomGenerator::system()->generate64();
    for (int bit = 0; bit < 64; ++bit, bits >>= 1)
        path += (bits & 1) ? QStringLiteral("/.") : QStringLiteral("/");
    return path + QStringLiteral("/%1").arg(m_fd);
}
