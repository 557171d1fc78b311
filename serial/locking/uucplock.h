// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

// UUCP (HDB) lock files, the convention that minicom, cu and most other Linux serial programs
// share: a file LCK..<name> in /run/lock (or /var/lock) that holds its owner's PID, as ten
// ASCII characters and a newline, or, from some old programs, as a binary int.
//
// The lock folder is writable by every user, so whatever sits there is another user's doing
// until proven otherwise: nothing in it is followed, opened in a way that can block, read
// beyond a lock's size, truncated, replaced or removed without being looked at first.
namespace UucpLock {

// The lock folders that exist, each once: /run/lock, and /var/lock where it is not a link to it.
[[nodiscard]] QList<QString> folders();

// Every file that a program may lock `device` (a real path, symlinks resolved) with: in each
// lock folder that exists, under the two names in use, the path below /dev with its slashes
// as underscores ("LCK..pts_3", as minicom and Qt name it) and the base name ("LCK..3", as cu
// does). For /dev/ttyUSB0 both are "LCK..ttyUSB0".
[[nodiscard]] QList<QString> paths(const QString &device);

// The PID a lock file's content names, in either form; nullopt when it names none.
[[nodiscard]] std::optional<pid_t> pidIn(const QByteArray &content);

// No lock file of any program is longer; anything longer is not read.
inline constexpr qint64 LargestLock = 512;

struct Found
{
    bool exists = false;
    std::optional<pid_t> pid; // unset: the file names no process
    ino_t inode = 0;
    mode_t type = 0; // S_IFREG, S_IFIFO, ..., S_IFLNK for a symbolic link
    qint64 size = 0;
    // Why the name could not be looked at: for an existing file (EACCES, say), or for a name
    // that cannot exist (ENAMETOOLONG).
    int error = 0;

    // A regular file of a lock's size that could be read: only then does `pid` say anything.
    [[nodiscard]] bool isLockFile() const;
};
[[nodiscard]] Found inspect(const QString &path);

// Whether `pid` is a running process (one of another user's counts too; a zombie does not).
[[nodiscard]] bool isRunning(pid_t pid);

// Removes a lock left by `pid`, which has ended (or is this process, which holds no claim on
// the device), provided the file is still that one: it is moved aside and read again, and put
// back when it has changed meanwhile, without taking the name from a program that has locked
// it since. 0 when it is gone, EEXIST when it stayed, otherwise the errno that prevented it.
[[nodiscard]] int removeStale(const QString &path, pid_t pid);

enum class Created { Yes, Taken, NotPossible };
// Creates the lock for this process whole, or not at all: a reader never finds it empty, and
// no file that is already there, under any name, is written to or becomes the lock.
// Taken: another program holds the name. NotPossible: `error` says why (a folder this user
// may not write to, a name too long for the file system).
[[nodiscard]] Created create(const QString &path, ino_t *inode, int *error);

// Removes a lock this process created, unless someone else has replaced it since.
void removeOwn(const QString &path, ino_t inode);

} // namespace UucpLock
