// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

// A serial device claimed the way Linux serial programs expect of each other, for as long as
// the port is open: the UUCP lock files under the device's real name (minicom, cu), a flock()
// on the device (picocom) and, once the port is open, exclusive mode (TIOCEXCL; screen). A
// device that another live process holds by any of these is refused, and so is a second
// claim in this process.
//
// Qt's serial port keeps a lock file of its own, named after the path it opens: LCK..pts_3
// for /dev/pts/3. It deletes every UUCP lock it finds there at once, a live one included,
// since a UUCP lock names no application. So the port is opened through this claim's own
// descriptor (openPath(), a /proc path that nobody can guess), and Qt's lock lands on a name
// nobody else uses or can take first. Qt offers no way to leave its lock out.
class SerialLock
{
public:
    struct Refusal
    {
        enum class Kind {
            InUse, // another program holds the device
            // A file is in the way at a lock's name that is not to be removed: another user's
            // stale lock, or one that names no process, or no lock file at all (a FIFO, say).
            Locked,
            Failed, // the device itself would not open
        };
        Kind kind;
        QString detail;
        // Who holds the device, when that is known (InUse).
        QList<pid_t> holders = {};
    };

    SerialLock() = default;
    ~SerialLock();
    SerialLock(const SerialLock &) = delete;
    SerialLock &operator=(const SerialLock &) = delete;

    // Claims `device` (any name of it). Nothing is read from or written to the line, and a
    // refused claim leaves every other program's lock as it found it.
    [[nodiscard]] std::optional<Refusal> acquire(const QString &device);
    // Removes this claim's lock files and lets the device go. Harmless when nothing is held.
    void release();

    [[nodiscard]] bool held() const { return m_fd >= 0; }
    // What the user should know about a claim that was made all the same: the lock files it
    // could not create, and why.
    [[nodiscard]] QStringList warnings() const { return m_warnings; }
    // The device's real path while held.
    [[nodiscard]] QString device() const { return m_device; }
    // The claim's descriptor on the device, for finding out why the device went away.
    [[nodiscard]] int descriptor() const { return m_fd; }
    // The path to open the held device by.
    [[nodiscard]] QString openPath() const;

private:
    struct LockFile
    {
        QString path;
        ino_t inode;
    };

    [[nodiscard]] std::optional<Refusal> clearTheWay(const QString &device, const QString &named);
    [[nodiscard]] std::optional<Refusal> lockFiles(const QString &device, const QString &named);
    [[nodiscard]] std::optional<Refusal> openDevice(const QString &device, const QString &named);

    int m_fd = -1;
    QString m_device;
    QList<LockFile> m_lockFiles;
    QStringList m_warnings;
};
