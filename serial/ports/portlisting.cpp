// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/portlisting.h"

#include "platform/escaping.h"
#include "serial/network/networkaddress.h"
#include "serial/network/serverprobe.h"
#include "serial/ports/modemmanager.h"
#include "serial/ports/portmap.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QTextStream>

#include <algorithm>

#include <unistd.h>

namespace {

// How long --list-ports waits for each device server to take a connection.
constexpr int ProbeMs = 500;

// What a row of the listing says of one device.
struct Row
{
    QString device;
    QString state;
    QString adapter;
    QString note; // a line of its own under the row
};

// A network address as the listing and the tooltips name it; the text as it stands in the
// settings file, escaped, when it is none.
QString networkDevice(const QString &device)
{
    const NetworkAddressParse parsed = parseNetworkAddress(device);
    return parsed.address ? parsed.address->text()
                          : QString::fromLatin1(escapedExcerpt(device.toUtf8()));
}

Row networkRow(const QString &device)
{
    const NetworkAddressParse parsed = parseNetworkAddress(device);
    if (!parsed.address)
        return { networkDevice(device), QStringLiteral("no address"), {}, {} };
    const QString state = ServerProbe::describe(ServerProbe::probe(*parsed.address, ProbeMs));
    if (parsed.address->protocol == NetworkAddress::Protocol::RawTcp)
        return { parsed.address->text(),
                 state,
                 QStringLiteral("raw TCP: the rate is set at the server, not from here"),
                 {} };
    return { parsed.address->text(), state, QStringLiteral("RFC 2217 device server"), {} };
}

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

    // One scan for the whole list: each walks every tty on the machine through udev and
    // takes milliseconds, which once per device would add up.
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const bool modemManager = ModemManager::runs();
    QList<Row> rows;
    for (const PortMap::Entry &entry : entries) {
        // An override's path is whatever the settings file holds.
        Row row;
        if (isNetworkAddress(entry.device)) {
            row = networkRow(entry.device);
        } else {
            const QSerialPortInfo info = infoFor(ports, entry.device);
            row = { escapedString(entry.device), stateOf(entry.device), adapterOf(info), {} };
            if (modemManager && QFileInfo::exists(entry.device)
                && !ModemManager::leavesAlone(entry.device)) {
                row.note = QStringLiteral("ModemManager runs and does not ignore this device. ")
                        + ModemManager::advice(entry.device, info.vendorIdentifier(),
                                               info.productIdentifier());
            }
        }
        if (entry.overridden)
            row.device += QStringLiteral(" *");
        rows.append(row);
    }
    qsizetype deviceWidth = 6;
    for (const Row &row : rows)
        deviceWidth = std::max(deviceWidth, row.device.size());

    QString text;
    QTextStream out(&text);
    out << Qt::left << qSetFieldWidth(6) << "COM" << qSetFieldWidth(int(deviceWidth) + 2)
        << "Device" << qSetFieldWidth(15) << "State" << qSetFieldWidth(0) << "Adapter\n";
    for (qsizetype i = 0; i < entries.size(); ++i) {
        out << qSetFieldWidth(6) << entries[i].number << qSetFieldWidth(int(deviceWidth) + 2)
            << rows[i].device << qSetFieldWidth(15) << rows[i].state << qSetFieldWidth(0)
            << rows[i].adapter << '\n';
        if (!rows[i].note.isEmpty())
            out << "      " << rows[i].note << '\n';
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
        // Opening the list must not reach out over the network: the address is all it says.
        if (isNetworkAddress(entry.device)) {
            tips.insert(entry.number, networkDevice(entry.device));
            continue;
        }
        if (!QFileInfo::exists(entry.device))
            continue;
        const QString adapter = adapterOf(infoFor(ports, entry.device));
        const QString device = escapedString(entry.device);
        tips.insert(entry.number,
                    adapter.isEmpty() ? device : QStringLiteral("%1 (%2)").arg(device, adapter));
    }
    return tips;
}

QSerialPortInfo adapterInfo(const QString &device)
{
    return infoFor(QSerialPortInfo::availablePorts(), device);
}
