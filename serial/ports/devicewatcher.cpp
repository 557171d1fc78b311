// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/devicewatcher.h"

#include "serial/ports/portmap.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <libudev.h>

struct DeviceWatcher::Udev
{
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;

    ~Udev()
    {
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};

namespace {

// udev runs when its control socket is there; a container has none, and its monitor would
// never speak.
bool udevRuns()
{
    return PortMap::deviceRoot() == u"/dev"
            && QFileInfo::exists(QStringLiteral("/run/udev/control"));
}

QSet<QString> devicesIn(const QString &root)
{
    QSet<QString> devices;
    for (const QString &name :
         QDir(root).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (isWatchedDeviceName(name))
            devices.insert(root + u'/' + name);
    }
    return devices;
}

} // namespace

bool isWatchedDeviceName(QStringView name)
{
    static const QRegularExpression pattern(QStringLiteral("^tty(USB|ACM)[0-9]{1,4}$"));
    return pattern.match(name.toString()).hasMatch();
}

DeviceWatcher::DeviceWatcher(QObject *parent) : QObject(parent) { }

DeviceWatcher::~DeviceWatcher() = default;

QString DeviceWatcher::source() const
{
    return m_udev ? QStringLiteral("udev")
                  : QStringLiteral("the folder %1").arg(PortMap::deviceRoot());
}

bool DeviceWatcher::start(QString *error)
{
    m_present = devicesIn(PortMap::deviceRoot());
    if (udevRuns()) {
        auto udev = std::make_unique<Udev>();
        udev->context = udev_new();
        udev->monitor =
                udev->context ? udev_monitor_new_from_netlink(udev->context, "udev") : nullptr;
        if (udev->monitor
            && udev_monitor_filter_add_match_subsystem_devtype(udev->monitor, "tty", nullptr) >= 0
            && udev_monitor_enable_receiving(udev->monitor) >= 0) {
            m_notifier = new QSocketNotifier(udev_monitor_get_fd(udev->monitor),
                                             QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatcher::readUdev);
            m_udev = std::move(udev);
            return true;
        }
    }
    m_folder = new QFileSystemWatcher(this);
    if (!m_folder->addPath(PortMap::deviceRoot())) {
        if (error)
            *error = QStringLiteral("cannot watch %1").arg(PortMap::deviceRoot());
        return false;
    }
    connect(m_folder, &QFileSystemWatcher::directoryChanged, this, &DeviceWatcher::rescan);
    return true;
}

void DeviceWatcher::rescan()
{
    const QSet<QString> now = devicesIn(PortMap::deviceRoot());
    const QSet<QString> before = std::exchange(m_present, now);
    for (const QString &device : before) {
        if (!now.contains(device))
            emit disappeared(device);
    }
    for (const QString &device : now) {
        if (!before.contains(device))
            emit appeared(device);
    }
    // A link to a device that has just come back leads somewhere again, though its own
    // folder did not change.
    checkPaths();
}

void DeviceWatcher::watchPath(const QString &path)
{
    if (m_paths.contains(path))
        return;
    m_paths.insert(path, QFileInfo::exists(path));
    if (!m_pathFolders) {
        m_pathFolders = new QFileSystemWatcher(this);
        connect(m_pathFolders, &QFileSystemWatcher::directoryChanged, this, [this] {
            watchFolders();
            checkPaths();
        });
    }
    watchFolders();
}

void DeviceWatcher::watchFolders()
{
    // A folder that went is no longer watched by the system; the one above it stands in
    // until it comes back.
    QStringList folders;
    for (auto it = m_paths.cbegin(); it != m_paths.cend(); ++it) {
        QFileInfo folder(QFileInfo(it.key()).absolutePath());
        while (!folder.isDir() && !folder.isRoot())
            folder.setFile(folder.absolutePath());
        folders.append(folder.absoluteFilePath());
    }
    const QStringList watched = m_pathFolders->directories();
    for (const QString &folder : watched) {
        if (!folders.contains(folder))
            m_pathFolders->removePath(folder);
    }
    for (const QString &folder : std::as_const(folders)) {
        if (!watched.contains(folder))
            m_pathFolders->addPath(folder);
    }
}

void DeviceWatcher::checkPaths()
{
    // Looked at all first: whoever hears of one may watch another path meanwhile.
    QList<std::pair<QString, bool>> changed;
    for (auto it = m_paths.begin(); it != m_paths.end(); ++it) {
        const bool now = QFileInfo::exists(it.key());
        if (now != std::exchange(it.value(), now))
            changed.append({ it.key(), now });
    }
    for (const auto &[path, now] : std::as_const(changed)) {
        if (now)
            emit appeared(path);
        else
            emit disappeared(path);
    }
}

void DeviceWatcher::readUdev()
{
    udev_device *device = udev_monitor_receive_device(m_udev->monitor);
    if (!device)
        return;
    const char *node = udev_device_get_devnode(device);
    const char *action = udev_device_get_action(device);
    const QString path = node ? QString::fromLocal8Bit(node) : QString();
    if (!path.isEmpty() && isWatchedDeviceName(QFileInfo(path).fileName()) && action) {
        if (qstrcmp(action, "add") == 0 && !m_present.contains(path)) {
            m_present.insert(path);
            emit appeared(path);
        } else if (qstrcmp(action, "remove") == 0 && m_present.remove(path)) {
            emit disappeared(path);
        }
    }
    udev_device_unref(device);
    // udev reports a device once its rules have run: the device's links are in place now.
    checkPaths();
}
