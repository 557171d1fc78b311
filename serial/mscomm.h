// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/locking/seriallock.h"

#include <QObject>
#include <QSerialPort>
#include <QSet>
#include <QString>

#include <memory>

class NetworkLine;

// Outcome of one operation of the serial component: 0 for success, otherwise the numeric
// code the window maps to its fixed message, with the system's own words for the detail.
struct CommStatus
{
    int code = 0;
    QString reason;

    [[nodiscard]] bool ok() const { return code == 0; }
};

namespace CommError {
inline constexpr int Overflow = 6;
inline constexpr int InvalidPropertyValue = 380;
inline constexpr int InvalidPortNumber = 8002;
inline constexpr int PortAlreadyOpen = 8005;
inline constexpr int DeviceUnavailable = 8010;
inline constexpr int CannotConfigure = 8015;
inline constexpr int PortNotOpen = 8018;
inline constexpr int ReadWriteFailed = 8020;
} // namespace CommError

namespace CommEvents {
inline constexpr qint16 Send = 1;
inline constexpr qint16 Receive = 2;
} // namespace CommEvents

// The serial component the window talks to: numbered COM ports, a settings string such as
// "19200,N,8,1", text in and out one byte per character (Latin-1), and one event, OnComm,
// raised through ordinary event dispatch. It reports through codes and signals only;
// showing messages is the window's business. A COM number that leads to a network address
// (rfc2217://HOST:PORT, tcp://HOST:PORT) is a line behind a device server, with the same
// properties, signals and codes as a serial device.
class MSComm : public QObject
{
    Q_OBJECT

public:
    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    [[nodiscard]] qint16 CommPort() const { return m_commPort; }
    [[nodiscard]] CommStatus setCommPort(int number);

    [[nodiscard]] QString Settings() const { return m_settings; }
    [[nodiscard]] CommStatus setSettings(const QString &settings);

    // Write-only, as the window uses them: how much one read of Input takes (0: all that
    // waits), and from how many waiting bytes a receive event, and at how many bytes left to
    // send a send event, is raised.
    void setInputLen(qint16 length) { m_inputLen = length; }
    void setRThreshold(qint16 threshold) { m_rThreshold = threshold; }
    void setSThreshold(qint16 threshold) { m_sThreshold = threshold; }

    [[nodiscard]] bool PortOpen() const;
    [[nodiscard]] CommStatus setPortOpen(bool open);

    // Writes at once, without waiting for the event loop, so a frame is on its way to the
    // line when the call returns.
    [[nodiscard]] CommStatus setOutput(const QString &text);
    [[nodiscard]] QString Input();
    [[nodiscard]] int InBufferCount() const;
    [[nodiscard]] qint16 CommEvent() const { return m_commEvent; }

    // Waits, at most `msecs`, until everything written has been handed to the device.
    bool drainOutput(int msecs);
    // The device the port was last opened on, as a path or a network address.
    [[nodiscard]] QString deviceName() const { return m_device; }
    // What the user should know about the open port although it opened: the lock files that
    // could not be made for it (see SerialLock::warnings()). Empty while closed.
    [[nodiscard]] QStringList lockWarnings() const { return m_lock.warnings(); }

signals:
    void OnComm();
    // The port opened or closed, by whatever means.
    void portOpenChanged(bool open);
    // The device went away while open (adapter pulled, other end hung up). The port has
    // already been closed, once, when this is emitted.
    void deviceLost(const QString &reason);
    // The line's traffic as bytes, with the wall-clock time in milliseconds since the epoch:
    // every frame handed to the device, and every chunk taken from it. A transcript, a trace
    // or a second front end attaches here.
    void dataSent(const QByteArray &bytes, qint64 atMsecs);
    void dataReceived(const QByteArray &bytes, qint64 atMsecs);
    // The port opened, or took new settings, though not quite as asked: a device server did
    // not confirm a setting, or a raw network port cannot carry the rate. No failure; said
    // once for each text over the component's life, after the open it belongs to.
    void lineWarning(const QString &warning);

private:
    [[nodiscard]] static CommStatus stillOpening();
    [[nodiscard]] CommStatus open();
    [[nodiscard]] CommStatus openNetwork(const QString &address);
    [[nodiscard]] CommStatus applySettings();
    [[nodiscard]] bool networkOpen() const;
    [[nodiscard]] qint64 bytesWaiting() const;
    void onReadyRead();
    void onBytesWritten();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void onNetworkLost(const QString &reason);
    void warn(const QString &warning);
    // Closes the port and lets the device go for every other program.
    void closePort();

    // Declared before the port, so that it outlives the port's descriptor.
    SerialLock m_lock;
    QSerialPort m_port;
    // Made on the first open of a network address: most sessions never need one.
    std::unique_ptr<NetworkLine> m_network;
    QSet<QString> m_warned;
    QString m_device;
    qint16 m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    qint16 m_inputLen = 0;
    qint16 m_rThreshold = 0;
    qint16 m_sThreshold = 0;
    qint16 m_commEvent = 0;
    bool m_opening = false;
};
