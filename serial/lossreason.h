// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Why an open port stopped working, from the system as it stands now rather than from the
// last error text Qt kept: the device node is gone (an adapter pulled out), or the line was
// hung up (the far end of a pseudo-terminal closed). `fd` is a descriptor still open on the
// device; `fallback` is said when neither is the case.
[[nodiscard]] QString lossReason(const QString &device, int fd, const QString &fallback);
