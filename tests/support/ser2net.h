// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's ser2net in front of one serial device (a pseudo-terminal's slave), run with a
// configuration of its own on free loopback ports: one accepter per kind, all leading to the
// same device, so ser2net lets one client at a time have it.
class Ser2net
{
public:
    enum class Accepter {
        Rfc2217, // telnet(rfc2217),tcp: the device server an rfc2217:// address expects
        Raw, // tcp: bytes as they are
        Telnet, // telnet,tcp: plain telnet, which refuses COM-PORT-OPTION
    };

    Ser2net() = default;
    ~Ser2net();
    Ser2net(const Ser2net &) = delete;
    Ser2net &operator=(const Ser2net &) = delete;

    // Starts ser2net for `device`, its line at `line` until a client sets it, and returns when
    // every accepter listens; on failure, says why in error().
    [[nodiscard]] bool start(const QString &device,
                             const QString &line = QStringLiteral("9600n81"));
    // Starts it with a configuration of the caller's own, as written, and returns when it
    // listens on `port`.
    [[nodiscard]] bool startWith(const QByteArray &yaml, quint16 port);
    [[nodiscard]] QString error() const { return m_error; }

    [[nodiscard]] quint16 port(Accepter accepter) const { return m_ports.value(accepter); }
    // "rfc2217://127.0.0.1:PORT" for Rfc2217 and Telnet, "tcp://127.0.0.1:PORT" for Raw.
    [[nodiscard]] QString address(Accepter accepter) const;

    // Ends it without a word to anyone, as a crash or a power cut would.
    void kill();
    void stop();

private:
    [[nodiscard]] bool run(const QByteArray &yaml);

    QTemporaryDir m_dir;
    QProcess m_process;
    QMap<Accepter, quint16> m_ports;
    QString m_error;
};

// A loopback port that nothing listens on now.
[[nodiscard]] quint16 freeLoopbackPort();
// Whether something listens on the loopback port `port` now, from /proc/net/tcp and tcp6,
// so that asking does not make a connection a server would see.
[[nodiscard]] bool listensOnLoopback(quint16 port);
