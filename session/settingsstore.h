// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/ports/portmap.h"

#include <QSettings>
#include <QString>

// The per-user store: QSettings("Korvanet", "Korvanet"). Every write is synced at once, so
// a choice made just before "Close software" ends the process is kept. When the store cannot
// be read or written, or its file is damaged, standard error says so, once a run for each.
namespace SettingsStore {

// The store's file as Qt keeps it, named in this one place. Its readers and writers are the
// functions below; tests use it to empty or inspect the file.
class File : public QSettings
{
public:
    File();
};

[[nodiscard]] QString read(const QString &section, const QString &key, const QString &fallback);
void write(const QString &section, const QString &key, const QString &value);

// From now on the store lives in memory only, empty at first, and goes with the process: the
// demo's picks leave the user's own alone, and no way out leaves anything on the disk.
void keepInMemory();

// "Ports/COMn" = device path: the user's own mapping of COM numbers to devices, read line by
// line where the file is damaged, so that no number silently leads to another device.
[[nodiscard]] PortMap::Overrides portOverrides();

} // namespace SettingsStore
