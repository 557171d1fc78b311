// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What to tell a user who may not open `device`. A group is named only when joining it would
// help: it may read and write the device, and it is not root's. Otherwise only a udev rule or
// the administrator can grant access, and the advice says so.
[[nodiscard]] QString permissionAdvice(const QString &device);
