// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

// The COM-number map as an open would resolve it now, one line a number: the device, whether
// it is there and this user may open it, and for USB adapters their description, maker and
// serial number. For `korvanet --list-ports` and the port list's tooltips.
[[nodiscard]] QString portListing();

// The port list's tooltips: for each COM number whose device is there, the device and, for
// a USB adapter, its description.
[[nodiscard]] QMap<int, QString> portTooltips();

// The serial number of the USB adapter behind `device` (any name of it); empty when it has
// none or is no USB adapter.
[[nodiscard]] QString adapterSerialNumber(const QString &device);
