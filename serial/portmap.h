#pragma once

#include <QList>
#include <QString>

// Which device a COM number means. On Linux the numbering follows the convention users of
// Windows tools already know from Wine: the series /dev/ttyS0, 1, ... then /dev/ttyUSB0, ...
// then /dev/ttyACM0, ..., each up to its first gap, count as COM1, COM2, ... in that order.
// A per-user entry "Ports/COMn" = device path in the settings store wins over the count.
namespace PortMap {

struct Entry
{
    int number = 0;
    QString device;
    bool overridden = false;
};

// The counted devices under `devRoot`, in COM order (COM1 first).
[[nodiscard]] QStringList detectedDevices(const QString &devRoot = QStringLiteral("/dev"));

// The device for a COM number as an open would use it now; empty when there is none.
[[nodiscard]] QString devicePath(int comNumber);

// Every number that leads to a device: the counted ones and the overrides, by number.
[[nodiscard]] QList<Entry> entries();

// A mapping for this run only, never written to the settings store (the demo modem).
void setSessionOverride(int comNumber, const QString &device);

} // namespace PortMap
