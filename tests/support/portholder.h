// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Another program that holds a device open, as any Qt program does (korvanet_holdport), under
// a name of the test's choosing: a copy of it by that name, so that the process's name in
// /proc/PID/comm is that one. "ModemManager" stands in for the daemon, which needs D-Bus and
// hardware. It lets go when it goes out of scope.
class PortHolder
{
public:
    explicit PortHolder(const QString &device,
                        const QString &name = QStringLiteral("korvanet_holdport"));
    ~PortHolder();
    PortHolder(const PortHolder &) = delete;
    PortHolder &operator=(const PortHolder &) = delete;

    // Whether it has the device open; what it said otherwise.
    [[nodiscard]] bool holds() const { return m_holds; }
    [[nodiscard]] QString error() const { return m_error; }
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    // Closes the device and ends.
    bool letGo();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_holds = false;
    QString m_error;
};
