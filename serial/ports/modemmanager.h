// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <sys/types.h>

// ModemManager, which desktops run: it probes new serial devices with AT commands to find the
// modems among them, and holds each one it probes for seconds, so a radio modem's port can be
// busy just after it is plugged in. A udev rule keeps it away from a device.
namespace ModemManager {

// Whether it runs: a process of that name (/proc/PID/comm, which every user may read).
[[nodiscard]] bool runs();
// Whether process `pid` is it.
[[nodiscard]] bool isModemManager(pid_t pid);
// Whether it leaves `device` (any name of it) alone: udev says so (ID_MM_DEVICE_IGNORE=1 on the
// device or one above it), or it is a built-in serial port (ttyS), which its own filter skips.
// Without udev, nothing says so.
[[nodiscard]] bool leavesAlone(const QString &device);
// What to do, with the udev rule that keeps it away from this adapter: by its USB vendor and
// product ids when known (0 when not), otherwise by the device's kernel name. It follows a
// sentence that names ModemManager.
[[nodiscard]] QString advice(const QString &device, quint16 vendorId, quint16 productId);
// The same, the ids looked up.
[[nodiscard]] QString advice(const QString &device);

} // namespace ModemManager
