// SPDX-License-Identifier: GPL-3.0-or-later
// A serial line behind Debian's ser2net, on loopback, in front of a real pseudo-terminal:
// the bytes, the line's settings as the pty's termios shows them, and every way a server
// can fail a client.
#include "serial/network/networkline.h"
#include "tests/support/pty.h"
#include "tests/support/ser2net.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Accepter = Ser2net::Accepter;
using Failure = NetworkStatus::Failure;
using StopBits = NetworkLineSettings::StopBits;

Q_DECLARE_METATYPE(NetworkLineSettings)

namespace {

// Every byte value, twice: 0xFF, XON, XOFF, NUL, CR and LF among them.
QByteArray everyByte()
{
    QByteArray bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    }
    return bytes;
}

QByteArray readFrom(NetworkLine &line, qsizetype count, int timeoutMs = 3000)
{
    QByteArray got;
    (void)QTest::qWaitFor(
            [&] {
                got += line.readAll();
                return got.size() >= count;
            },
            timeoutMs);
    return got;
}

// A listening socket whose queue is full, so the kernel drops every further SYN: a host that
// never answers. Closes its descriptors when it goes.
class UnansweringHost
{
public:
    UnansweringHost()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        // A backlog of 0 holds one connection that nobody accepts; this one fills it.
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), length);
    }
    ~UnansweringHost()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    [[nodiscard]] quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};

// Where the second client of faults() goes.
enum Setup { ClosedPort, UnknownHost, NoSynAnswer, SilentServer, PlainTelnet, Held };

NetworkLineSettings lineSettings(quint32 baud, quint8 dataBits, char parity, StopBits stopBits)
{
    return { baud, dataBits, parity, stopBits };
}

} // namespace

class tst_NetworkLine : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void addresses_data();
    void addresses();
    void traffic_data();
    void traffic();
    void settings_data();
    void settings();
    void serverQuirks_data();
    void serverQuirks();
    void faults_data();
    void faults();
    void serverKilled_data();
    void serverKilled();

private:
    // A fresh pseudo-terminal with ser2net in front of it.
    [[nodiscard]] bool startServer();

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<Ser2net> m_server;
};

bool tst_NetworkLine::startServer()
{
    m_pty = std::make_unique<PtyPair>();
    m_server = std::make_unique<Ser2net>();
    if (m_server->start(m_pty->slavePath()))
        return true;
    qWarning("%s", qPrintable(m_server->error()));
    return false;
}

void tst_NetworkLine::cleanup()
{
    m_server.reset();
    m_pty.reset();
}

void tst_NetworkLine::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("network");
    // The address as written back, or a part of the reason it is none.
    QTest::addColumn<QString>("expected");

    QTest::newRow("rfc2217") << "rfc2217://127.0.0.1:2000" << true << "rfc2217://127.0.0.1:2000";
    QTest::newRow("tcp, scheme in capitals")
            << "TCP://Gw-1.example:4001" << true << "tcp://Gw-1.example:4001";
    QTest::newRow("IPv6, blanks around")
            << " rfc2217://[::1]:65535 " << true << "rfc2217://[::1]:65535";
    QTest::newRow("IPv6 with a zone")
            << "tcp://[fe80::1%eth0]:1" << true << "tcp://[fe80::1%eth0]:1";
    QTest::newRow("port 0") << "rfc2217://gw:0" << true << "from 1 to 65535";
    QTest::newRow("port 65536") << "rfc2217://gw:65536" << true << "from 1 to 65535";
    QTest::newRow("no port") << "rfc2217://gw" << true << "a port follows the host";
    QTest::newRow("no host") << "tcp://:2000" << true << "the host is missing";
    QTest::newRow("a path after the port") << "tcp://gw:2000/x" << true << "ends the address";
    QTest::newRow("IPv6 without brackets") << "rfc2217://::1:2000" << true << "goes in brackets";
    QTest::newRow("unclosed bracket") << "rfc2217://[::1:2000" << true << "no closing";
    QTest::newRow("a name in brackets") << "rfc2217://[gw]:2000" << true << "no IPv6 address";
    QTest::newRow("other scheme") << "udp://gw:2000" << true << "the scheme is rfc2217://";
    QTest::newRow("host too long")
            << "tcp://" + QString(254, u'a') + ":1" << true << "longer than 253";
    QTest::newRow("escape sequence") << "tcp://gw\x1b[2J:1" << true << "gw\\x1b[2J";
    QTest::newRow("not ASCII") << "tcp://gw\u00e4:1" << true << "gw\\xc3\\xa4";
    QTest::newRow("device path") << "/dev/ttyUSB0" << false << "rfc2217://HOST:PORT";
    QTest::newRow("COM name") << "COM3" << false << "rfc2217://HOST:PORT";
    QTest::newRow("no scheme") << "://gw:2000" << false << "rfc2217://HOST:PORT";
}

void tst_NetworkLine::addresses()
{
    QFETCH(QString, text);
    QFETCH(bool, network);
    QFETCH(QString, expected);

    QCOMPARE(isNetworkAddress(text), network);
    const NetworkAddressParse parse = parseNetworkAddress(text);
    if (parse.address) {
        QCOMPARE(parse.address->text(), expected);
        QVERIFY(parse.error.isEmpty());
        return;
    }
    QVERIFY2(parse.error.contains(expected), qPrintable(parse.error));
    // A message quotes the text bounded and escaped: one line, nothing a terminal obeys.
    QVERIFY(parse.error.size() < 300);
    for (const QChar c : parse.error)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7f, qPrintable(parse.error));
}

void tst_NetworkLine::traffic_data()
{
    QTest::addColumn<Accepter>("accepter");
    QTest::addColumn<QString>("host");
    QTest::newRow("rfc2217") << Accepter::Rfc2217 << "127.0.0.1";
    QTest::newRow("raw") << Accepter::Raw << "127.0.0.1";
    // A name, looked up off the event loop.
    QTest::newRow("rfc2217, by name") << Accepter::Rfc2217 << "localhost";
}

void tst_NetworkLine::traffic()
{
    QFETCH(Accepter, accepter);
    QFETCH(QString, host);
    QVERIFY(startServer());
    NetworkLine line;
    QSignalSpy ready(&line, &NetworkLine::readyRead);
    QVERIFY(ready.isValid());
    const NetworkStatus opened =
            line.open(m_server->address(accepter).replace(QStringLiteral("127.0.0.1"), host), {});
    QVERIFY2(opened.ok(), qPrintable(opened.message));

    const QByteArray bytes = everyByte();
    QVERIFY(line.write(bytes));
    QCOMPARE(m_pty->readCount(bytes.size()), bytes);
    m_pty->write(bytes);
    QCOMPARE(readFrom(line, bytes.size()), bytes);
    QVERIFY(!ready.isEmpty());

    // A raw port carries no rate, and says so at every try.
    const bool raw = accepter == Accepter::Raw;
    const QString rawWarning = QStringLiteral("carries bytes only");
    QVERIFY2(opened.warning.contains(rawWarning) == raw, qPrintable(opened.warning));
    const NetworkStatus set = line.setLineSettings(lineSettings(19200, 8, 'N', StopBits::One));
    QVERIFY(set.ok());
    QVERIFY2(set.warning.contains(rawWarning) == raw, qPrintable(set.warning));
    QVERIFY(set.warning.isEmpty() || set.warning.contains(m_server->address(accepter)));
}

void tst_NetworkLine::settings_data()
{
    QTest::addColumn<NetworkLineSettings>("settings");
    QTest::addColumn<speed_t>("speed");
    // The bits of c_cflag that the settings own and a pseudo-terminal keeps: Linux forces
    // CS8 and clears PARENB on every pty, so the data size and parity on/off do not show.
    QTest::addColumn<tcflag_t>("cflag");
    // After a change to 1200 8E2 on the open line: those bits, and what the line says.
    QTest::addColumn<tcflag_t>("changedCflag");
    QTest::addColumn<QString>("changedWarning");

    QTest::newRow("19200 8N1") << lineSettings(19200, 8, 'N', StopBits::One) << speed_t(B19200)
                               << tcflag_t(0) << tcflag_t(CSTOPB) << QString();
    QTest::newRow("38400 7E2") << lineSettings(38400, 7, 'E', StopBits::Two) << speed_t(B38400)
                               << tcflag_t(CSTOPB) << tcflag_t(CSTOPB) << QString();
    QTest::newRow("4800 8O1") << lineSettings(4800, 8, 'O', StopBits::One) << speed_t(B4800)
                              << tcflag_t(PARODD) << tcflag_t(CSTOPB) << QString();
    // ser2net leaves CMSPAR set when mark or space parity gives way to even, so the port
    // runs at space parity; it says so in its confirmation, and so does the line.
    const QString space = QStringLiteral("confirmed parity space instead of parity even");
    QTest::newRow("57600 8M1") << lineSettings(57600, 8, 'M', StopBits::One) << speed_t(B57600)
                               << tcflag_t(PARODD | CMSPAR) << tcflag_t(CMSPAR | CSTOPB) << space;
    QTest::newRow("2400 8S2") << lineSettings(2400, 8, 'S', StopBits::Two) << speed_t(B2400)
                              << tcflag_t(CMSPAR | CSTOPB) << tcflag_t(CMSPAR | CSTOPB) << space;
}

void tst_NetworkLine::settings()
{
    QFETCH(NetworkLineSettings, settings);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, cflag);
    QFETCH(tcflag_t, changedCflag);
    QFETCH(QString, changedWarning);
    const auto format = [this] {
        termios t{};
        ::tcgetattr(m_pty->masterFd(), &t);
        return t.c_cflag & (PARODD | CMSPAR | CSTOPB);
    };

    QVERIFY(startServer());
    const QString address = m_server->address(Accepter::Rfc2217);
    NetworkLine line;
    // Opening returns once the server has confirmed the settings, so the port is set by then.
    const NetworkStatus opened = line.open(address, settings);
    QVERIFY2(opened.ok() && opened.warning.isEmpty(), qPrintable(opened.message + opened.warning));
    QCOMPARE(m_pty->lineSpeed(), speed);
    QCOMPARE(format(), cflag);

    // A new rate on the open line: the far port follows.
    const NetworkStatus changed = line.setLineSettings(lineSettings(1200, 8, 'E', StopBits::Two));
    QVERIFY(changed.ok());
    QCOMPARE(changed.warning.isEmpty(), changedWarning.isEmpty());
    QVERIFY2(changed.warning.contains(changedWarning), qPrintable(changed.warning));
    QCOMPARE(m_pty->lineSpeed(), speed_t(B1200));
    QCOMPARE(format(), changedCflag);
    QVERIFY(line.write("after"));
    QCOMPARE(m_pty->readCount(5), QByteArray("after"));

    // "Set serial params" closes with its frame still on the way to the modem and reopens
    // at once, before ser2net has let the port go.
    QVERIFY(line.write("QM%B=1200\r\n"));
    QVERIFY(line.drainOutput(1000));
    line.close();
    const NetworkStatus reopened = line.open(address, settings);
    QVERIFY2(reopened.ok(), qPrintable(reopened.message));
    QCOMPARE(m_pty->lineSpeed(), speed);
}

void tst_NetworkLine::serverQuirks_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const auto reply = [](quint8 code, QByteArray value) {
        return QByteArray("\xff\xfa\x2c") + char(code) + value + QByteArray("\xff\xf0");
    };
    const QByteArray confirmations = reply(112, "\x03") + reply(101, QByteArray("\0\0\x25\x80", 4))
            + reply(102, "\x08") + reply(103, "\x01") + reply(104, "\x01");
    // What sat in the server before the purge is not the line's; what follows it is.
    QTest::newRow("data before the purge")
            << "stale" + confirmations + "fresh" << QString() << 0 << 1000;
    QTest::newRow("no confirmation")
            << QByteArray() << "did not confirm the rate 9600" << 1900 << 3000;
}

void tst_NetworkLine::serverQuirks()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, warning);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    // A telnet peer that takes up RFC 2217 and answers the purge with `answer`.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QByteArray heard;
    bool agreed = false;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        QTcpSocket *peer = server.nextPendingConnection();
        connect(peer, &QTcpSocket::readyRead, peer, [&, peer] {
            heard += peer->readAll();
            if (!agreed && heard.contains("\xff\xfb\x2c")) {
                agreed = true; // DO COM-PORT-OPTION, WILL and DO BINARY
                peer->write("\xff\xfd\x2c\xff\xfb\x00\xff\xfd\x00", 9);
            }
            if (agreed && heard.contains("\xff\xfa\x2c\x0c\x03\xff\xf0")) {
                peer->write(answer);
                heard.clear();
            }
        });
    });

    NetworkLine line;
    QElapsedTimer clock;
    clock.start();
    const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort());
    const NetworkStatus opened = line.open(address, {});
    const qint64 ms = clock.elapsed();
    QVERIFY2(opened.ok(), qPrintable(opened.message));
    QCOMPARE(opened.warning.isEmpty(), warning.isEmpty());
    QVERIFY2(opened.warning.contains(warning)
                     && (warning.isEmpty() || opened.warning.startsWith(address)),
             qPrintable(opened.warning));
    QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(QString::number(ms)));
    if (warning.isEmpty())
        QCOMPARE(readFrom(line, 5), QByteArray("fresh"));
}

void tst_NetworkLine::faults_data()
{
    QTest::addColumn<int>("setup");
    // The accepter held by a first client, and the one the second client tries.
    QTest::addColumn<Accepter>("held");
    QTest::addColumn<Accepter>("tried");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");

    const Accepter rfc2217 = Accepter::Rfc2217;
    const Accepter raw = Accepter::Raw;
    QTest::newRow("refused") << int(ClosedPort) << rfc2217 << rfc2217 << Failure::Refused
                             << "refused the connection" << 0 << 1000;
    QTest::newRow("unknown host") << int(UnknownHost) << rfc2217 << rfc2217 << Failure::UnknownHost
                                  << "is unknown" << 0 << 5500;
    QTest::newRow("no answer to connecting")
            << int(NoSynAnswer) << rfc2217 << rfc2217 << Failure::TimedOut
            << "did not answer within 5 s" << 4500 << 6000;
    QTest::newRow("silent server") << int(SilentServer) << rfc2217 << rfc2217 << Failure::TimedOut
                                   << "gave no telnet answer" << 4500 << 6000;
    QTest::newRow("plain telnet") << int(PlainTelnet) << rfc2217 << Accepter::Telnet
                                  << Failure::NoComPortOption << "refuses COM-PORT-OPTION" << 0
                                  << 1000;
    QTest::newRow("second rfc2217 client")
            << int(Held) << rfc2217 << rfc2217 << Failure::InUse
            << "is in use: the server said \"Port already in use\"" << 0 << 1000;
    QTest::newRow("second raw client")
            << int(Held) << raw << raw << Failure::InUse
            << "is in use: the server said \"Port already in use\"" << 0 << 1000;
    QTest::newRow("raw client while rfc2217 holds the device")
            << int(Held) << rfc2217 << raw << Failure::InUse
            << "is in use: the server said \"Port's device already in use\"" << 0 << 1000;
}

void tst_NetworkLine::faults()
{
    QFETCH(int, setup);
    QFETCH(Accepter, held);
    QFETCH(Accepter, tried);
    QFETCH(Failure, failure);
    QFETCH(QString, words);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    QString address;
    NetworkLine first;
    std::unique_ptr<UnansweringHost> unanswering;
    QTcpServer silent;
    switch (Setup(setup)) {
    case ClosedPort:
        address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort());
        break;
    case UnknownHost:
        address = QStringLiteral("rfc2217://no-such-modem.invalid:2000");
        break;
    case NoSynAnswer:
        unanswering = std::make_unique<UnansweringHost>();
        address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(unanswering->port());
        break;
    case SilentServer:
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort());
        break;
    case PlainTelnet:
    case Held:
        QVERIFY(startServer());
        address = m_server->address(tried);
        if (setup == Held) {
            const NetworkStatus holding = first.open(m_server->address(held), {});
            QVERIFY2(holding.ok(), qPrintable(holding.message));
        }
        break;
    }

    NetworkLine line;
    QElapsedTimer clock;
    clock.start();
    const NetworkStatus status = line.open(address, {});
    const qint64 ms = clock.elapsed();
    QCOMPARE(status.failure, failure);
    QVERIFY2(status.message.contains(words) && status.message.contains(address),
             qPrintable(status.message));
    QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(QString::number(ms)));
    QVERIFY(!line.isOpen());
    if (setup == Held) {
        // The client that holds the port keeps it.
        QVERIFY(first.isOpen());
        QVERIFY(first.write("still here"));
        QCOMPARE(m_pty->readCount(10), QByteArray("still here"));
    }
}

void tst_NetworkLine::serverKilled_data()
{
    QTest::addColumn<Accepter>("accepter");
    QTest::newRow("rfc2217") << Accepter::Rfc2217;
    QTest::newRow("raw") << Accepter::Raw;
}

void tst_NetworkLine::serverKilled()
{
    QFETCH(Accepter, accepter);
    QVERIFY(startServer());
    NetworkLine line;
    QSignalSpy lost(&line, &NetworkLine::lost);
    QVERIFY(lost.isValid());
    const NetworkStatus opened = line.open(m_server->address(accepter), {});
    QVERIFY2(opened.ok(), qPrintable(opened.message));

    QElapsedTimer clock;
    clock.start();
    m_server->kill();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 2000);
    QVERIFY(clock.elapsed() < 1000);
    const QString reason = lost.first().first().toString();
    QVERIFY2(reason.contains(m_server->address(accepter))
                     && reason.contains("the server closed the connection"),
             qPrintable(reason));
    QVERIFY(!line.isOpen());
    // Once: writing to the dead line fails quietly, and nothing else is said.
    QVERIFY(!line.write("QM&FR?\r\n"));
    QTest::qWait(200);
    QCOMPARE(lost.count(), 1);
}

KORVANET_TEST_MAIN(tst_NetworkLine)
#include "tst_networkline.moc"
