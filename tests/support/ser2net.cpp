// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ser2net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString accepterText(Ser2net::Accepter accepter)
{
    switch (accepter) {
    case Ser2net::Accepter::Rfc2217:
        return QStringLiteral("telnet(rfc2217),tcp");
    case Ser2net::Accepter::Telnet:
        return QStringLiteral("telnet,tcp");
    case Ser2net::Accepter::Raw:
        break;
    }
    return QStringLiteral("tcp");
}

} // namespace

Ser2net::~Ser2net()
{
    stop();
}

bool Ser2net::start(const QString &device, const QString &line)
{
    QByteArray yaml;
    for (const Accepter accepter : { Accepter::Rfc2217, Accepter::Raw, Accepter::Telnet }) {
        quint16 port = freeLoopbackPort();
        while (m_ports.values().contains(port))
            port = freeLoopbackPort();
        m_ports.insert(accepter, port);
        // Loopback only: a test has no business on the machine's other interfaces.
        yaml += QStringLiteral("connection: &c%1\n"
                               "  accepter: %2,127.0.0.1,%3\n"
                               "  connector: serialdev,%4,%5,local\n")
                        .arg(int(accepter))
                        .arg(accepterText(accepter))
                        .arg(port)
                        .arg(device, line)
                        .toUtf8();
    }
    return run(yaml);
}

bool Ser2net::startWith(const QByteArray &yaml, quint16 port)
{
    m_ports.insert(Accepter::Rfc2217, port);
    return run(yaml);
}

bool Ser2net::run(const QByteArray &yaml)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(config, file.errorString());
        return false;
    }
    file.close();

    // -n -d: in the foreground, its messages on stdout; -u: no UUCP lock in /run/lock, which
    // a killed server would leave behind for the next suite's pseudo-terminal of that name.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("ser2net"),
                    { QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"),
                      QStringLiteral("-c"), config });
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("ser2net did not start: ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(5000);
    const auto listening = [this] {
        for (const quint16 port : m_ports) {
            if (!listensOnLoopback(port))
                return false;
        }
        return true;
    };
    while (!listening()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("ser2net did not listen within 5 s: ")
                    + QString::fromLocal8Bit(m_process.readAll());
            stop();
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

QString Ser2net::address(Accepter accepter) const
{
    return QStringLiteral("%1://127.0.0.1:%2")
            .arg(accepter == Accepter::Raw ? QStringLiteral("tcp") : QStringLiteral("rfc2217"))
            .arg(port(accepter));
}

void Ser2net::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

void Ser2net::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        kill();
}

quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool listensOnLoopback(quint16 port)
{
    // "  1: 0100007F:1F90 00000000:0000 0A ...": local address and port in hex, state 0A
    // for LISTEN. A server that binds every address (ser2net given a port alone) listens on
    // IPv6's [::], which takes IPv4 clients too.
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QByteArrayList addresses{ "0100007F" + local, "00000000" + local,
                                    QByteArray(32, '0') + local };
    for (const char *path : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        QFile table(QString::fromLatin1(path));
        if (!table.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[3] == "0A" && addresses.contains(fields[1]))
                return true;
        }
    }
    return false;
}
