// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/modemmanager.h"

#include "platform/escaping.h"
#include "serial/ports/portlisting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <libudev.h>
#include <sys/stat.h>

namespace ModemManager {
namespace {

// The kernel keeps 15 bytes of a process's name: "ModemManager" fits whole.
bool isNamedModemManager(const QString &procFolder)
{
    QFile comm(procFolder + QStringLiteral("/comm"));
    return comm.open(QIODevice::ReadOnly) && comm.read(64).trimmed() == "ModemManager";
}

} // namespace

bool runs()
{
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (name.front().isDigit() && isNamedModemManager(proc.filePath(name)))
            return true;
    }
    return false;
}

bool isModemManager(pid_t pid)
{
    return isNamedModemManager(QStringLiteral("/proc/%1").arg(pid));
}

bool leavesAlone(const QString &device)
{
    const QString real = QFileInfo(device).canonicalFilePath();
    if (real.startsWith(u"/dev/ttyS"))
        return true;
    struct stat node
    {
    };
    if (real.isEmpty() || ::stat(QFile::encodeName(real).constData(), &node) != 0
        || !S_ISCHR(node.st_mode))
        return false;
    // Without udev, the device has no properties, and nothing keeps it from ModemManager.
    udev *context = udev_new();
    udev_device *found =
            context ? udev_device_new_from_devnum(context, 'c', node.st_rdev) : nullptr;
    bool ignored = false;
    for (udev_device *d = found; d && !ignored; d = udev_device_get_parent(d)) {
        const char *value = udev_device_get_property_value(d, "ID_MM_DEVICE_IGNORE");
        ignored = value && qstrcmp(value, "1") == 0;
    }
    if (found)
        udev_device_unref(found);
    if (context)
        udev_unref(context);
    return ignored;
}

QString advice(const QString &device, quint16 vendorId, quint16 productId)
{
    const auto hex = [](quint16 id) {
        return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
    };
    QString match;
    if (vendorId != 0 || productId != 0) {
        match = QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"")
                        .arg(hex(vendorId), hex(productId));
    } else {
        // The path may come from the settings file; its real name is the kernel's.
        const QString real = QFileInfo(device).canonicalFilePath();
        match = QStringLiteral("KERNEL==\"%1\"")
                        .arg(escapedString(QFileInfo(real.isEmpty() ? device : real).fileName()));
    }
    return QStringLiteral("It probes serial devices for modems and can hold one for "
                          "seconds. To keep it away from this one, put the rule %1, "
                          "ENV{ID_MM_DEVICE_IGNORE}=\"1\" in a file under /etc/udev/rules.d/ "
                          "(such as 99-korvanet.rules), run \"sudo udevadm control --reload\" and "
                          "plug the adapter in again.")
            .arg(match);
}

QString advice(const QString &device)
{
    const QSerialPortInfo info = adapterInfo(device);
    return advice(device, info.vendorIdentifier(), info.productIdentifier());
}

} // namespace ModemManager
