// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class DeviceWatcher;

// Tells when an adapter that went away is back under the COM number it was opened by: the same
// adapter, not whatever device that number leads to now. The same adapter is one the number
// reaches through a name that stays with it (the "Ports" entry, or a /dev/serial/by-id link
// that led to it), or one with the same USB serial number. What identifies an adapter is taken
// while it is there: once it is pulled out, the system forgets all about it.
class AdapterReturn : public QObject
{
    Q_OBJECT

public:
    explicit AdapterReturn(QObject *parent = nullptr);
    ~AdapterReturn() override;

    // The adapter just opened on `device` as COM `comNumber`; any earlier watch ends.
    void remember(int comNumber, const QString &device);
    // Waits for the remembered adapter to come back, and says back() when it has, and again
    // now and then for a while as long as it stays there (a device that has just come can be
    // busy: ModemManager probes it, udev is still at work), until stop().
    void watch();
    void stop();
    [[nodiscard]] bool watching() const { return m_watcher != nullptr; }

signals:
    void back();

private:
    void cameBack();
    void check();
    [[nodiscard]] bool isRemembered(const QString &device) const;

    int m_comNumber = 0;
    // Names that stay with the adapter, and its serial number (empty when it has none).
    QStringList m_names;
    QString m_serialNumber;
    DeviceWatcher *m_watcher = nullptr;
    QTimer m_retry;
    int m_retriesLeft = 0;
};
