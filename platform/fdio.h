// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// Writes all of `bytes` to `fd`, going on after a signal interrupts a write. 0 when all went
// out, otherwise the errno that stopped it (ENOSPC for a write that took nothing).
[[nodiscard]] int writeAll(int fd, QByteArrayView bytes);

// A name beside `path`, in its folder, that nobody can know before it is used: another user
// could otherwise put a file, a link or a FIFO there first.
[[nodiscard]] QByteArray privateNameBeside(const QString &path);

// Makes the file `path` with `bytes` in it and permissions `mode`, whatever the umask, in one
// step: written whole under a private name, then linked into place, so that nobody ever sees
// it part-written, and link() fails (EEXIST) rather than replaces when the name is taken.
// 0, or the errno that stopped it; `inode`, when given, is the new file's.
[[nodiscard]] int createWhole(const QString &path, QByteArrayView bytes, mode_t mode,
                              ino_t *inode = nullptr);

// What a file of this type (st_mode & S_IFMT) is, for a message: "a FIFO", "a folder", ...
[[nodiscard]] QString fileKind(mode_t type);
