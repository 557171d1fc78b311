// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

// Serial devices as they come and go: USB adapters (ttyUSB*) and USB modems (ttyACM*) plugged in
// and pulled out. Where udev runs, its monitor tells, once its rules have run, so a device's
// /dev/serial/by-id link and its permissions are in place when it is reported; where it does not
// (a container), the device folder itself is watched. Paths of the user's own (a
// /dev/serial/by-id link, a "Ports" entry) can be watched besides: they are reported as they
// come to lead to a device and stop doing so. Everything on the event loop.
class DeviceWatcher : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatcher(QObject *parent = nullptr);
    ~DeviceWatcher() override;

    // Starts watching; what is there already is never reported as appearing.
    [[nodiscard]] bool start(QString *error = nullptr);
    // "udev" or "the folder /dev", for messages.
    [[nodiscard]] QString source() const;
    // Reports `path` (any name of a device, links followed) through appeared() and
    // disappeared() too. Its folder is watched, or the nearest folder above it that exists:
    // udev announces no link that it did not make, and a folder of links such as
    // /dev/serial/by-id goes away with the last of its links.
    void watchPath(const QString &path);

signals:
    void appeared(const QString &device);
    void disappeared(const QString &device);

private:
    void rescan();
    void readUdev();
    void checkPaths();
    void watchFolders();

    struct Udev;
    std::unique_ptr<Udev> m_udev;
    QFileSystemWatcher *m_folder = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    QSet<QString> m_present;
    // Each watched path, and whether it led to a device when last looked at.
    QHash<QString, bool> m_paths;
    QFileSystemWatcher *m_pathFolders = nullptr;
};

// Whether `name` (a file name under /dev) is a device the watcher reports: ttyUSB0, ttyACM3.
[[nodiscard]] bool isWatchedDeviceName(QStringView name);
