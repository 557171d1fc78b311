#include "serial/portmap.h"

#include "app/settingsstore.h"

#include <QFileInfo>
#include <QHash>

#include <map>

namespace PortMap {
namespace {

QHash<int, QString> &sessionOverrides()
{
    static QHash<int, QString> overrides;
    return overrides;
}

QString overrideFor(int comNumber)
{
    if (const auto it = sessionOverrides().constFind(comNumber); it != sessionOverrides().cend())
        return *it;
    return SettingsStore::portOverride(comNumber);
}

} // namespace

QStringList detectedDevices(const QString &devRoot)
{
    QStringList devices;
    for (const char *series : {"ttyS", "ttyUSB", "ttyACM"}) {
        for (int index = 0;; ++index) {
            const QString path = QStringLiteral("%1/%2%3").arg(devRoot, QLatin1StringView(series)).arg(index);
            if (!QFileInfo::exists(path))
                break;
            devices.append(path);
        }
    }
    return devices;
}

QString devicePath(int comNumber)
{
    if (QString device = overrideFor(comNumber); !device.isEmpty())
        return device;
#ifdef Q_OS_WIN
    return comNumber >= 1 ? QStringLiteral("COM%1").arg(comNumber) : QString();
#else
    const QStringList devices = detectedDevices();
    return comNumber >= 1 && comNumber <= devices.size() ? devices[comNumber - 1] : QString();
#endif
}

QList<Entry> entries()
{
    std::map<int, Entry> byNumber;
#ifndef Q_OS_WIN
    const QStringList devices = detectedDevices();
    for (int i = 0; i < devices.size(); ++i)
        byNumber[i + 1] = {i + 1, devices[i], false};
#endif
    for (int number : SettingsStore::overriddenPorts())
        byNumber[number] = {number, SettingsStore::portOverride(number), true};
    for (auto it = sessionOverrides().cbegin(); it != sessionOverrides().cend(); ++it)
        byNumber[it.key()] = {it.key(), it.value(), true};

    QList<Entry> result;
    for (const auto &[number, entry] : byNumber)
        result.append(entry);
    return result;
}

void setSessionOverride(int comNumber, const QString &device)
{
    sessionOverrides().insert(comNumber, device);
}

} // namespace PortMap
