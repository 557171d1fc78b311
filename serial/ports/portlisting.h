// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QSerialPortInfo>
#include <QString>

// The COM-number map as an open would resolve it now, one line a number: the device, whether
// it is there and this user may open it, and for USB adapters their description, maker and
// serial number. A network address says whether its server takes a connection (each is
// tried, for at most half a second) and which kind of server it is. For `korvanet
// --list-ports`.
[[nodiscard]] QString portListing();

// The port list's tooltips: for each COM number whose device is there, the device and, for
// a USB adapter, its description; for a network address, the address alone, since opening
// the list must not reach out over the network.
[[nodiscard]] QMap<int, QString> portTooltips();

// What the system says of the USB adapter behind `device` (any name of it): its maker,
// product and serial number; nothing when it is no USB adapter.
[[nodiscard]] QSerialPortInfo adapterInfo(const QString &device);
