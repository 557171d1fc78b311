// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/portlist.h"

#include "serial/ports/portmap.h"

#include <QFileInfo>

#include <algorithm>

#include <QRegularExpression>

QStringList portsFrom(const QString &text, QString *error)
{
    static const QRegularExpression range(QStringLiteral("^([0-9]{1,5})-([0-9]{1,5})$"));
    QStringList ports;
    for (const QString &item : text.split(u',')) {
        const QString part = item.trimmed();
        const QRegularExpressionMatch match = range.match(part);
        if (match.hasMatch()) {
            const int first = match.captured(1).toInt();
            const int last = match.captured(2).toInt();
            if (first < 1 || last < first || last - first >= MostPortsInARun) {
                *error = QStringLiteral("\"%1\" is no range of COM numbers").arg(part);
                return {};
            }
            for (int number = first; number <= last; ++number)
                ports.append(QString::number(number));
        } else if (!part.isEmpty()) {
            ports.append(part);
        } else {
            *error = QStringLiteral("an empty place in the list of ports");
            return {};
        }
        if (ports.size() > MostPortsInARun) {
            *error = QStringLiteral("more than %1 ports in one run").arg(MostPortsInARun);
            return {};
        }
    }
    if (ports.removeDuplicates() > 0) {
        *error = QStringLiteral("a port named twice in the list");
        return {};
    }
    return ports;
}

ResolvedPort resolvePort(const QString &port)
{
    const bool named = port.startsWith(u'/') || port.contains(QStringLiteral("://"));
    if (!named) {
        bool isNumber = false;
        const int number = port.trimmed().toInt(&isNumber);
        return { port, isNumber ? QStringLiteral("COM%1").arg(number) : port };
    }
    // Any name of a device finds its number: a by-id link and the node it leads to are one.
    const QString real = QFileInfo(port).canonicalFilePath();
    int highest = 0;
    for (const PortMap::Entry &entry : PortMap::entries()) {
        highest = std::max(highest, entry.number);
        const bool same = entry.device == port
                || (!real.isEmpty() && QFileInfo(entry.device).canonicalFilePath() == real);
        if (same)
            return { QString::number(entry.number),
                     QStringLiteral("COM%1 (%2)").arg(entry.number).arg(port) };
    }
    const int number = highest + 1;
    PortMap::setSessionOverride(number, port);
    return { QString::number(number), QStringLiteral("COM%1 (%2)").arg(number).arg(port) };
}
