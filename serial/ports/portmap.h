// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>

// Which device a COM number means. On Linux the numbering follows the convention users of
// Windows tools already know from Wine: the series /dev/ttyS0, 1, ... then /dev/ttyUSB0, ...
// then /dev/ttyACM0, ..., each up to its first gap, in that order. The user's own mapping
// of a number to a device (the front end keeps it) wins: overrides keep their numbers, and
// the counted devices take the numbers they leave free, from COM1 up, as Wine gives them.
namespace PortMap {

// COM number to device path.
using Overrides = QMap<int, QString>;

struct Entry
{
    int number = 0;
    QString device;
    bool overridden = false;
};

// The counted devices under `devRoot`, in Wine's order.
[[nodiscard]] QStringList detectedDevices(const QString &devRoot);

// Wine's numbering of `detected` around `overrides`, by number.
[[nodiscard]] QList<Entry> numbered(const Overrides &overrides, const QStringList &detected);

// Where the user's overrides come from; there are none until the front end hands them in.
// Asked anew for every lookup, so a change to them counts from the next open.
void setOverrideSource(std::function<Overrides()> source);
// Where devices are counted: /dev, or a tree of the same shape.
void setDeviceRoot(const QString &root);
[[nodiscard]] QString deviceRoot();

// The device for a COM number as an open would use it now; empty when there is none.
[[nodiscard]] QString devicePath(int comNumber);

// Every number that leads to a device: the counted ones and the overrides, by number.
[[nodiscard]] QList<Entry> entries();

// A mapping for this run only, over the user's own (the demo modem).
void setSessionOverride(int comNumber, const QString &device);

} // namespace PortMap
