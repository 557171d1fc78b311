// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "serial/network/networkaddress.h"
#include "serial/network/tcpstream.h"
#include "serial/network/telnetcodec.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

// The line's format as an RFC 2217 server sets it on its serial port.
struct NetworkLineSettings
{
    enum class StopBits : quint8 { One, OneAndHalf, Two };

    quint32 baud = 9600;
    quint8 dataBits = 8; // 5 to 8
    char parity = 'N'; // N, O, E, M or S
    StopBits stopBits = StopBits::One;
};

// Outcome of an operation on a network line. A failure has a kind, for the front end's
// numeric code, and a message that names the address. A success may carry a warning: a
// setting the server did not confirm, or a rate a raw port cannot carry.
struct NetworkStatus
{
    enum class Failure {
        None,
        BadAddress, // the text is no rfc2217:// or tcp:// address
        UnknownHost, // the name does not resolve
        Refused, // nothing listens there
        TimedOut, // no connection, or no telnet answer, within the time allowed
        InUse, // the server took the connection and closed it: another client holds the port
        NoComPortOption, // a telnet server that refuses RFC 2217
        NotOpen, // the line is closed, or went away meanwhile
        Other, // any other socket error, in Qt's words
    };

    Failure failure = Failure::None;
    QString message;
    QString warning;

    [[nodiscard]] bool ok() const { return failure == Failure::None; }
};

// A serial line behind a device server, over one TCP connection on the one event loop.
// Used as a serial port is: open() and setLineSettings() return when the server has
// answered, or when their time is up, dispatching events meanwhile so that a window stays
// live; written data leaves at once; received data waits for readAll(), announced by
// readyRead(). A connection that fails while open is reported once, by lost(). No dialogs;
// a host name is looked up on a thread of its own, and nothing else leaves the event loop.
class NetworkLine : public QObject
{
    Q_OBJECT

public:
    // How long opening may take in all, and how long the server has to confirm settings.
    static constexpr int OpenTimeoutMs = 5000;
    static constexpr int ConfirmTimeoutMs = 2000;
    // How long after a close a server may still hold its port for that connection, and how
    // often a reopen asks again meanwhile.
    static constexpr int ReleaseMs = 1000;
    static constexpr int RetryMs = 20;
    // How long a telnet server has to speak first before the line asks for its options.
    static constexpr int ServerFirstMs = 50;

    explicit NetworkLine(QObject *parent = nullptr);
    ~NetworkLine() override;

    // Connects to `address` (rfc2217:// or tcp://) and, over RFC 2217, sets `settings` and
    // purges the server's buffers. Returns within `timeoutMs`.
    [[nodiscard]] NetworkStatus open(const QString &address, const NetworkLineSettings &settings,
                                     int timeoutMs = OpenTimeoutMs);
    void close();
    [[nodiscard]] bool isOpen() const { return m_open; }
    // The address of the open line, or of the last one opened, as text.
    [[nodiscard]] QString address() const { return m_address.text(); }

    // Over RFC 2217, sends the new settings and waits until the server confirms them; over
    // raw TCP, says that it cannot.
    [[nodiscard]] NetworkStatus setLineSettings(const NetworkLineSettings &settings);

    // Queues `bytes` and hands them to the system at once. False when the line is not open
    // or the connection failed meanwhile, in which case lost() has been emitted from within.
    bool write(QByteArrayView bytes);
    // Waits, at most `msecs`, until everything written has been handed to the system.
    bool drainOutput(int msecs);
    [[nodiscard]] qint64 bytesToWrite() const;

    [[nodiscard]] QByteArray readAll();
    [[nodiscard]] QByteArray read(qint64 maxSize);
    [[nodiscard]] qint64 bytesAvailable() const { return m_input.size(); }

    // At most this much received data waits for readAll(); beyond it the line stops reading
    // and TCP holds the server back.
    static constexpr qsizetype MaxWaitingInput = 1 << 20;

signals:
    void readyRead();
    void bytesWritten();
    // The connection went away while open. The line is closed, once, when this is emitted.
    void lost(const QString &reason);

private:
    struct Confirmation
    {
        int requested = 0;
        int answered = 0;
        QByteArray value;
    };

    [[nodiscard]] NetworkStatus connectSocket(const QDeadlineTimer &deadline, int timeoutMs);
    [[nodiscard]] NetworkStatus negotiate(const QDeadlineTimer &deadline, int timeoutMs);
    [[nodiscard]] NetworkStatus checkRawPort(int connectMs);
    [[nodiscard]] QString rawRateWarning() const;
    // Sends the settings (and a purge of the server's buffers, when `purge`), waits for the
    // answers, and says in a warning what the server did not confirm as asked.
    [[nodiscard]] QString applySettings(const NetworkLineSettings &settings, bool purge,
                                        const QDeadlineTimer &deadline);
    void request(TelnetCodec::ComPort command, QByteArrayView value);
    [[nodiscard]] bool answered(TelnetCodec::ComPort command) const;
    // Dispatches events until `done` or `deadline`, whichever first; false when `done` is
    // still not so, or the line was closed meanwhile by someone else.
    bool waitFor(const std::function<bool()> &done, const QDeadlineTimer &deadline);

    void onReadyRead();
    void onErrorOccurred(TcpStream::Error error);
    void pullFromSocket();
    void sendRaw(const QByteArray &bytes);
    [[nodiscard]] NetworkStatus failOpen(NetworkStatus::Failure failure, const QString &message);
    [[nodiscard]] QString closedDuringOpen() const;

    TcpStream m_socket;
    NetworkAddress m_address;
    TelnetCodec m_codec;
    std::array<Confirmation, TelnetCodec::ComPortCommands> m_confirmations{};
    QByteArray m_input;
    // The first bytes a server sent while the line was opening: a refusal's words.
    QByteArray m_greeting;
    bool m_serverSpoke = false;
    NetworkLineSettings m_settings;
    bool m_open = false;
    bool m_opening = false;
    bool m_telnet = false;
    // When this line last closed a connection of its own.
    QElapsedTimer m_closed;
    // Bumped by close(), so a wait in progress knows its line has gone from under it.
    quint64 m_generation = 0;
};
