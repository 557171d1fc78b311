// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// Writes all of `bytes` to `fd`, going on after a signal interrupts a write. 0 when all went
// out, otherwise the errno that stopped it (ENOSPC for a write that took nothing).
[[nodiscard]] int writeAll(int fd, QByteArrayView bytes);

// What a file of this type (st_mode & S_IFMT) is, for a message: "a FIFO", "a folder", ...
[[nodiscard]] QString fileKind(mode_t type);
