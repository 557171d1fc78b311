// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/portlisting.h"

#include "serial/ports/modemmanager.h"
#include "serial/ports/portmap.h"
#include "platform/escaping.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QTextStream>

#include <algorithm>

#include <unistd.h>

namespace {

QSerialPortInfo infoFor(const QList<QSerialPortInfo> &ports, const QString &device)
{
    // Overrides often name a /dev/serial/by-id link; Qt knows the device by its real node.
    const QString real = QFileInfo(device).canonicalFilePath();
    for (const QSerialPortInfo &info : ports) {
        if (info.systemLocation() == device || info.systemLocation() == real)
            return info;
    }
    return {};
}

QString adapterOf(const QSerialPortInfo &info)
{
    QStringList parts;
    if (!info.description().isEmpty())
        parts.append(info.description());
    if (!info.manufacturer().isEmpty())
        parts.append(info.manufacturer());
    if (!info.serialNumber().isEmpty())
        parts.append(QStringLiteral("serial %1").arg(info.serialNumber()));
    // The adapter's own words, from its firmware.
    return escapedString(parts.join(QStringLiteral(", ")));
}

QString stateOf(const QString &device)
{
    if (!QFileInfo::exists(device))
        return QStringLiteral("missing");
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
        return QStringLiteral("no permission");
    return QStringLiteral("ready");
}

} // namespace

QString portListing()
{
    const QList<PortMap::Entry> entries = PortMap::entries();
    if (entries.isEmpty())
        return QStringLiteral("No serial ports found.\n");
    // An override's path is whatever the settings file holds.
    const auto devices = [](const PortMap::Entry &entry) {
        return escapedString(entry.device) + (entry.overridden ? QStringLiteral(" *") : QString());
    };
    qsizetype deviceWidth = 6;
    for (const PortMap::Entry &entry : entries)
        deviceWidth = std::max(deviceWidth, devices(entry).size());

    // One scan for the whole list: each walks every tty on the machine through udev and
    // takes milliseconds, which once per device would add up.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const bool modemManager = ModemManager::runs();
    QString text;
    QTextStream out(&text);
    out << Qt::left << qSetFieldWidth(6) << "COM" << qSetFieldWidth(int(deviceWidth) + 2)
        << "Device" << qSetFieldWidth(15) << "State" << qSetFieldWidth(0) << "Adapter\n";
    for (const PortMap::Entry &entry : entries) {
        const QSerialPortInfo info = infoFor(ports, entry.device);
        out << qSetFieldWidth(6) << entry.number << qSetFieldWidth(int(deviceWidth) + 2)
            << devices(entry) << qSetFieldWidth(15) << stateOf(entry.device) << qSetFieldWidth(0)
            << adapterOf(info) << '\n';
        if (modemManager && QFileInfo::exists(entry.device)
            && !ModemManager::leavesAlone(entry.device)) {
            out << "      ModemManager runs and does not ignore this device. "
                << ModemManager::advice(entry.device, info.vendorIdentifier(),
                                        info.productIdentifier())
                << '\n';
        }
    }
    if (std::any_of(entries.cbegin(), entries.cend(), [](const auto &e) { return e.overridden; }))
        out << "* set in the \"Ports\" section of the settings file\n";
    return text;
}

QMap<int, QString> portTooltips()
{
    QMap<int, QString> tips;
    // Built each time the port list opens: one scan for all devices.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const PortMap::Entry &entry : PortMap::entries()) {
        if (!QFileInfo::exists(entry.device))
            continue;
        const QString adapter = adapterOf(infoFor(ports, entry.device));
        const QString device = escapedString(entry.device);
        tips.insert(entry.number,
                    adapter.isEmpty() ? device : QStringLiteral("%1 (%2)").arg(device, adapter));
    }
    return tips;
}

QString adapterSerialNumber(const QString &device)
{
    return infoFor(QSerialPortInfo::availablePorts(), device).serialNumber();
}
