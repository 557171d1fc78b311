// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/ports/adapterreturn.h"

#include "serial/network/networkaddress.h"
#include "serial/ports/devicewatcher.h"
#include "serial/ports/portlisting.h"
#include "serial/ports/portmap.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int RetryMs = 1000;
constexpr int Retries = 10;

QString realPath(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// The /dev/serial/by-id links that lead to `device` now.
QStringList byIdLinks(const QString &device)
{
    const QString real = realPath(device);
    const QDir folder(PortMap::deviceRoot() + QStringLiteral("/serial/by-id"));
    QStringList links;
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files)) {
        if (link.isSymLink() && !real.isEmpty() && link.canonicalFilePath() == real)
            links.append(link.absoluteFilePath());
    }
    return links;
}

// Only USB adapters and modems have serial numbers; asking costs a walk over every tty.
QString serialNumberOf(const QString &device)
{
    const QString real = realPath(device);
    return isWatchedDeviceName(QFileInfo(real).fileName()) ? adapterInfo(real).serialNumber()
                                                           : QString();
}

} // namespace

bool AdapterIdentity::sameAs(const AdapterIdentity &other) const
{
    for (const QString &name : names) {
        if (other.names.contains(name))
            return true;
    }
    return !serialNumber.isEmpty() && serialNumber == other.serialNumber;
}

AdapterIdentity identify(int comNumber, const QString &device)
{
    // A device server is no file to watch for; reaching it again is a new connection.
    if (isNetworkAddress(device))
        return {};
    AdapterIdentity adapter{ byIdLinks(device), serialNumberOf(device) };
    // A "Ports" entry is the user's own name for the adapter.
    for (const PortMap::Entry &entry : PortMap::entries()) {
        if (entry.number == comNumber && entry.overridden && entry.device == device
            && !adapter.names.contains(device))
            adapter.names.append(device);
    }
    return adapter;
}

AdapterReturn::AdapterReturn(QObject *parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &AdapterReturn::check);
}

AdapterReturn::~AdapterReturn() = default;

void AdapterReturn::remember(int comNumber, const QString &device)
{
    stop();
    m_comNumber = comNumber;
    m_adapter = identify(comNumber, device);
}

void AdapterReturn::watch()
{
    stop();
    if (m_comNumber == 0 || m_adapter.isEmpty())
        return;
    m_watcher = new DeviceWatcher(this);
    // Without the device folder, the names are still watched.
    (void)m_watcher->start();
    for (const QString &name : std::as_const(m_adapter.names))
        m_watcher->watchPath(name);
    connect(m_watcher, &DeviceWatcher::appeared, this, &AdapterReturn::cameBack);
}

void AdapterReturn::stop()
{
    m_retry.stop();
    if (m_watcher) {
        // It may be the one telling right now.
        m_watcher->disconnect(this);
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}

void AdapterReturn::cameBack()
{
    m_retriesLeft = Retries;
    check();
}

void AdapterReturn::check()
{
    const QString device = PortMap::devicePath(m_comNumber);
    if (!m_watcher || device.isEmpty() || !QFileInfo::exists(device)
        || !identify(m_comNumber, device).sameAs(m_adapter))
        return;
    if (m_retriesLeft-- > 0)
        m_retry.start();
    emit back();
}
