// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/portmap.h"

#include <QFileInfo>

namespace PortMap {
namespace {

struct Sources
{
    std::function<Overrides()> overrides;
    Overrides session;
    QString deviceRoot = QStringLiteral("/dev");
};

Sources &sources()
{
    static Sources s;
    return s;
}

Overrides currentOverrides()
{
    Overrides overrides = sources().overrides ? sources().overrides() : Overrides();
    for (auto it = sources().session.cbegin(); it != sources().session.cend(); ++it)
        overrides.insert(it.key(), it.value());
    return overrides;
}

} // namespace

QStringList detectedDevices(const QString &devRoot)
{
    QStringList devices;
    for (const char *series : { "ttyS", "ttyUSB", "ttyACM" }) {
        for (int index = 0;; ++index) {
            const QString path =
                    QStringLiteral("%1/%2%3").arg(devRoot, QLatin1StringView(series)).arg(index);
            if (!QFileInfo::exists(path))
                break;
            devices.append(path);
        }
    }
    return devices;
}

QList<Entry> numbered(const Overrides &overrides, const QStringList &detected)
{
    QMap<int, Entry> byNumber;
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        // An empty entry maps nothing, as if it were not there.
        if (it.key() >= 1 && !it.value().isEmpty())
            byNumber.insert(it.key(), { it.key(), it.value(), true });
    }
    // As Wine does, a counted device is numbered even when an override names it too.
    int number = 1;
    for (const QString &device : detected) {
        while (byNumber.contains(number))
            ++number;
        byNumber.insert(number, { number, device, false });
    }
    return byNumber.values();
}

void setOverrideSource(std::function<Overrides()> source)
{
    sources().overrides = std::move(source);
}

void setDeviceRoot(const QString &root)
{
    sources().deviceRoot = root;
}

QString deviceRoot()
{
    return sources().deviceRoot;
}

QString devicePath(int comNumber)
{
    if (comNumber < 1)
        return {};
#ifdef Q_OS_WIN
    const QString device = currentOverrides().value(comNumber);
    return device.isEmpty() ? QStringLiteral("COM%1").arg(comNumber) : device;
#else
    for (const Entry &entry : entries()) {
        if (entry.number == comNumber)
            return entry.device;
    }
    return {};
#endif
}

QList<Entry> entries()
{
#ifdef Q_OS_WIN
    return numbered(currentOverrides(), {});
#else
    return numbered(currentOverrides(), detectedDevices(sources().deviceRoot));
#endif
}

void setSessionOverride(int comNumber, const QString &device)
{
    sources().session.insert(comNumber, device);
}

} // namespace PortMap
