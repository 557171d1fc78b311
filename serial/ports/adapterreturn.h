// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class DeviceWatcher;

// What tells one adapter from another: the names that stay with it (the "Ports" entry of its
// COM number, the /dev/serial/by-id links that lead to it) and its USB serial number, empty
// when it has none.
struct AdapterIdentity
{
    QStringList names;
    QString serialNumber;

    [[nodiscard]] bool isEmpty() const { return names.isEmpty() && serialNumber.isEmpty(); }
    // A name in common, or the same serial number.
    [[nodiscard]] bool sameAs(const AdapterIdentity &other) const;
};

// The identity of the adapter that `device` is now, as COM `comNumber` leads to it. A counted
// /dev/ttyUSB0 is whichever adapter came first, and is no name of any.
[[nodiscard]] AdapterIdentity identify(int comNumber, const QString &device);

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

signals:
    void back();

private:
    void cameBack();
    void check();

    int m_comNumber = 0;
    AdapterIdentity m_adapter;
    DeviceWatcher *m_watcher = nullptr;
    QTimer m_retry;
    int m_retriesLeft = 0;
};
