// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

// Writes all of `bytes` to `fd`, going on after a signal interrupts a write. 0 when all went
// out, otherwise the errno that stopped it (ENOSPC for a write that took nothing).
[[nodiscard]] int writeAll(int fd, QByteArrayView bytes);
