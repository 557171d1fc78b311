#pragma once

#include <QList>
#include <QString>

// The per-user store: QSettings("Korvanet", "Korvanet"). Every write is synced at once, so
// a choice made just before "Close software" ends the process is kept.
namespace SettingsStore {

[[nodiscard]] QString read(const QString &section, const QString &key, const QString &fallback);
void write(const QString &section, const QString &key, const QString &value);

// "Ports/COMn" = device path: the user's own mapping of a COM number to a device.
[[nodiscard]] QString portOverride(int comNumber);
[[nodiscard]] QList<int> overriddenPorts();

} // namespace SettingsStore
