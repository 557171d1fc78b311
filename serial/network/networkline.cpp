// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/networkline.h"

#include "platform/escaping.h"
#include "platform/eventwait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopedValueRollback>
#include <QtEndian>

namespace {

using ComPort = TelnetCodec::ComPort;
using Failure = NetworkStatus::Failure;

// What one read takes from the socket.
constexpr qint64 ReadChunk = 64 * 1024;
// The words of a server that refuses a client come first; more is not worth quoting.
constexpr qsizetype MaxGreeting = 256;

// RFC 2217's SET-CONTROL values: no flow control, DTR on, RTS on. A pseudo-terminal behind
// the server has no modem lines, so these are asked for and never waited for.
constexpr char NoFlowControl = 1;
constexpr char DtrOn = 8;
constexpr char RtsOn = 11;
// PURGE-DATA: both of the server's buffers.
constexpr char PurgeBoth = 3;

QString tr(const char *text)
{
    return QCoreApplication::translate("NetworkLine", text);
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

char parityCode(char parity)
{
    switch (parity) {
    case 'O':
        return 2;
    case 'E':
        return 3;
    case 'M':
        return 4;
    case 'S':
        return 5;
    default:
        return 1;
    }
}

char stopSizeCode(NetworkLineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case NetworkLineSettings::StopBits::Two:
        return 2;
    case NetworkLineSettings::StopBits::OneAndHalf:
        return 3;
    case NetworkLineSettings::StopBits::One:
        break;
    }
    return 1;
}

// A setting in words, from the value as it goes over the wire.
QString describe(ComPort command, const QByteArray &value)
{
    if (command == ComPort::SetBaudRate) {
        if (value.size() != 4)
            return tr("an unreadable rate");
        return tr("the rate %1").arg(qFromBigEndian<quint32>(value.constData()));
    }
    if (value.size() != 1)
        return tr("an unreadable value");
    const int code = quint8(value[0]);
    switch (command) {
    case ComPort::SetDataSize:
        return tr("%1 data bits").arg(code);
    case ComPort::SetParity: {
        static const char *const names[] = { "?", "none", "odd", "even", "mark", "space" };
        return tr("parity %1").arg(QLatin1String(code <= 5 ? names[code] : "?"));
    }
    case ComPort::SetStopSize:
        if (code == 1)
            return tr("1 stop bit");
        return tr("%1 stop bits").arg(code == 3 ? QStringLiteral("1.5") : QString::number(code));
    case ComPort::PurgeData:
        return tr("the purge of its buffers");
    default:
        return QString::number(code);
    }
}

} // namespace

NetworkLine::NetworkLine(QObject *parent) : QObject(parent)
{
    connect(&m_socket, &TcpStream::readyRead, this, &NetworkLine::onReadyRead);
    connect(&m_socket, &TcpStream::bytesWritten, this, [this] {
        if (m_open)
            emit bytesWritten();
    });
    connect(&m_socket, &TcpStream::errorOccurred, this, &NetworkLine::onErrorOccurred);
}

NetworkLine::~NetworkLine()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

NetworkStatus NetworkLine::open(const QString &address, const NetworkLineSettings &settings,
                                int timeoutMs)
{
    if (m_open || m_opening)
        return { Failure::Other, tr("%1 is already open.").arg(m_address.text()), {} };
    const NetworkAddressParse parsed = parseNetworkAddress(address);
    if (!parsed.address)
        return { Failure::BadAddress, parsed.error, {} };

    // ser2net lets a port go some milliseconds after its client has gone, and a reopen
    // (a new rate, "Set serial params") comes sooner than that: the port is still in use
    // by this very line's last connection. Such a refusal is tried again, for a while.
    const bool reopening = m_closed.isValid() && m_closed.elapsed() < ReleaseMs
            && parsed.address->text() == m_address.text();
    const QDeadlineTimer released(reopening ? ReleaseMs - m_closed.elapsed() : 0);
    m_address = *parsed.address;
    m_settings = settings;
    m_telnet = m_address.protocol == NetworkAddress::Protocol::Rfc2217;

    const QScopedValueRollback opening(m_opening, true);
    const quint64 generation = m_generation;
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    NetworkStatus status;
    for (;;) {
        m_codec = TelnetCodec();
        m_confirmations = {};
        m_input.clear();
        m_greeting.clear();
        m_serverSpoke = false;
        QElapsedTimer connecting;
        connecting.start();
        status = connectSocket(deadline, timeoutMs);
        if (status.ok()) {
            status = m_telnet ? negotiate(deadline, timeoutMs)
                              : checkRawPort(int(connecting.elapsed()));
        }
        if (status.failure != Failure::InUse || released.hasExpired() || deadline.hasExpired()
            || m_generation != generation)
            break;
        waitFor([] { return false; }, QDeadlineTimer(RetryMs, Qt::PreciseTimer));
    }
    // Closed from a handler that ran while this open waited.
    if (m_generation != generation)
        return failOpen(Failure::NotOpen, tr("%1 was closed while opening.").arg(m_address.text()));
    if (!status.ok())
        return status;
    m_open = true;
    // Whatever came after the purge is the line's, and nobody has heard of it yet.
    if (!m_input.isEmpty())
        QMetaObject::invokeMethod(this, &NetworkLine::readyRead, Qt::QueuedConnection);
    return status;
}

NetworkStatus NetworkLine::connectSocket(const QDeadlineTimer &deadline, int timeoutMs)
{
    m_socket.connectToHost(m_address.host, m_address.port);
    const bool settled = waitFor(
            [this] {
                const auto state = m_socket.state();
                return state == TcpStream::State::Connected
                        || state == TcpStream::State::Unconnected;
            },
            deadline);
    const QString where = m_address.text();
    if (!settled) {
        if (m_socket.state() == TcpStream::State::LookingUp) {
            return failOpen(Failure::TimedOut,
                            tr("%1: looking up the host \"%2\" took longer than %3 s.")
                                    .arg(where, m_address.host, seconds(timeoutMs)));
        }
        return failOpen(Failure::TimedOut,
                        tr("%1 did not answer within %2 s.").arg(where, seconds(timeoutMs)));
    }
    if (m_socket.state() == TcpStream::State::Connected)
        return {};
    switch (m_socket.error()) {
    case TcpStream::Error::HostNotFound:
        return failOpen(Failure::UnknownHost,
                        tr("%1: the host \"%2\" is unknown; its name does not resolve.")
                                .arg(where, m_address.host));
    case TcpStream::Error::Refused:
        return failOpen(
                Failure::Refused,
                tr("%1 refused the connection: no server listens on that port.").arg(where));
    case TcpStream::Error::RemoteClosed:
        return failOpen(Failure::InUse, closedDuringOpen());
    case TcpStream::Error::None:
    case TcpStream::Error::Other:
        break;
    }
    return failOpen(Failure::Other, tr("%1: %2").arg(where, m_socket.errorString()));
}

NetworkStatus NetworkLine::negotiate(const QDeadlineTimer &deadline, int timeoutMs)
{
    // A telnet server speaks first. One that turns this client away (ser2net, its port held)
    // says why and closes at once, and bytes of ours it has not read by then make its system
    // reset the connection and drop the words it had not sent yet. So it is given a moment.
    waitFor([this] { return m_serverSpoke || m_socket.state() != TcpStream::State::Connected; },
            QDeadlineTimer(std::min<qint64>(ServerFirstMs, deadline.remainingTime()),
                           Qt::PreciseTimer));
    sendRaw(m_codec.start());
    const bool settled = waitFor(
            [this] {
                return m_codec.comPort() != TelnetCodec::Agreement::Pending
                        || m_socket.state() != TcpStream::State::Connected;
            },
            deadline);
    const QString where = m_address.text();
    if (m_socket.state() != TcpStream::State::Connected)
        return failOpen(Failure::InUse, closedDuringOpen());
    if (!settled) {
        return failOpen(Failure::TimedOut,
                        tr("%1 took the connection but gave no telnet answer (RFC 2217) within "
                           "%2 s.")
                                .arg(where, seconds(timeoutMs)));
    }
    if (m_codec.comPort() == TelnetCodec::Agreement::Refused) {
        NetworkAddress raw = m_address;
        raw.protocol = NetworkAddress::Protocol::RawTcp;
        return failOpen(Failure::NoComPortOption,
                        tr("%1 speaks telnet but refuses COM-PORT-OPTION (RFC 2217), so it cannot "
                           "set the line's rate. For a port that carries bytes only, use %2.")
                                .arg(where, raw.text()));
    }
    request(ComPort::SetControl, QByteArrayView(&NoFlowControl, 1));
    request(ComPort::SetControl, QByteArrayView(&DtrOn, 1));
    request(ComPort::SetControl, QByteArrayView(&RtsOn, 1));
    const QDeadlineTimer confirming(std::min<qint64>(ConfirmTimeoutMs, deadline.remainingTime()),
                                    Qt::PreciseTimer);
    NetworkStatus status;
    status.warning = applySettings(m_settings, true, confirming);
    if (m_socket.state() != TcpStream::State::Connected)
        return failOpen(Failure::InUse, closedDuringOpen());
    return status;
}

NetworkStatus NetworkLine::checkRawPort(int connectMs)
{
    // A raw port says nothing when it takes a client; one that is held by another client
    // says why and closes at once. Its words take about a round trip, as connecting did.
    const int graceMs = std::clamp(2 * connectMs + 50, 100, 1000);
    waitFor([this] { return m_socket.state() != TcpStream::State::Connected; },
            QDeadlineTimer(graceMs, Qt::PreciseTimer));
    if (m_socket.state() != TcpStream::State::Connected)
        return failOpen(Failure::InUse, closedDuringOpen());
    return { Failure::None, {}, rawRateWarning() };
}

QString NetworkLine::rawRateWarning() const
{
    return tr("%1 carries bytes only: the rate of its serial port is set at the server, so %2 "
              "baud cannot be set from here.")
            .arg(m_address.text())
            .arg(m_settings.baud);
}

NetworkStatus NetworkLine::setLineSettings(const NetworkLineSettings &settings)
{
    if (!m_open)
        return { Failure::NotOpen, tr("%1 is not open.").arg(m_address.text()), {} };
    m_settings = settings;
    if (!m_telnet)
        return { Failure::None, {}, rawRateWarning() };
    NetworkStatus status;
    status.warning = applySettings(settings, false, QDeadlineTimer(ConfirmTimeoutMs));
    if (!m_open)
        return { Failure::NotOpen,
                 tr("%1 went away while its line was being set.").arg(m_address.text()),
                 {} };
    return status;
}

QString NetworkLine::applySettings(const NetworkLineSettings &settings, bool purge,
                                   const QDeadlineTimer &deadline)
{
    // RFC 2217's order: rate, data size, parity, stop size.
    char baud[4];
    qToBigEndian<quint32>(settings.baud, baud);
    const char dataSize = char(settings.dataBits);
    const char parity = parityCode(settings.parity);
    const char stopSize = stopSizeCode(settings.stopBits);
    struct Asked
    {
        ComPort command;
        QByteArray value;
    };
    QList<Asked> asked = {
        { ComPort::SetBaudRate, QByteArray(baud, 4) },
        { ComPort::SetDataSize, QByteArray(1, dataSize) },
        { ComPort::SetParity, QByteArray(1, parity) },
        { ComPort::SetStopSize, QByteArray(1, stopSize) },
    };
    if (purge)
        asked.append({ ComPort::PurgeData, QByteArray(1, PurgeBoth) });
    for (const Asked &a : asked)
        request(a.command, a.value);

    waitFor(
            [this, &asked] {
                if (m_socket.state() != TcpStream::State::Connected)
                    return true;
                return std::all_of(asked.cbegin(), asked.cend(),
                                   [this](const Asked &a) { return answered(a.command); });
            },
            deadline);
    if (m_socket.state() != TcpStream::State::Connected)
        return {};

    QStringList problems;
    for (const Asked &a : asked) {
        const Confirmation &c = m_confirmations[size_t(a.command)];
        if (!answered(a.command)) {
            problems.append(tr("did not confirm %1").arg(describe(a.command, a.value)));
        } else if (c.value != a.value) {
            problems.append(
                    tr("confirmed %1 instead of %2")
                            .arg(describe(a.command, c.value), describe(a.command, a.value)));
        }
    }
    if (!m_codec.binaryBothWays())
        problems.append(tr("did not agree to 8-bit data both ways, so some bytes may change"));
    if (problems.isEmpty())
        return {};
    return tr("%1: the server %2.").arg(m_address.text(), problems.join(QStringLiteral("; ")));
}

void NetworkLine::request(ComPort command, QByteArrayView value)
{
    ++m_confirmations[size_t(command)].requested;
    sendRaw(TelnetCodec::comPortCommand(command, value));
}

bool NetworkLine::answered(ComPort command) const
{
    const Confirmation &c = m_confirmations[size_t(command)];
    return c.answered >= c.requested;
}

bool NetworkLine::waitFor(const std::function<bool()> &done, const QDeadlineTimer &deadline)
{
    const quint64 generation = m_generation;
    const bool settled =
            EventWait::until(deadline, [&] { return generation != m_generation || done(); });
    return settled && generation == m_generation;
}

void NetworkLine::close()
{
    ++m_generation;
    if (m_open)
        m_closed.start();
    m_open = false;
    // The system still sends what it has taken before the connection ends.
    m_socket.abort();
    m_input.clear();
}

bool NetworkLine::write(QByteArrayView bytes)
{
    if (!m_open)
        return false;
    const QByteArray wire = m_telnet ? TelnetCodec::escape(bytes) : bytes.toByteArray();
    // A connection that has failed says so only here, and its report closes the line.
    m_socket.write(wire);
    return m_open;
}

bool NetworkLine::drainOutput(int msecs)
{
    return waitFor(
                   [this] {
                       return m_socket.state() != TcpStream::State::Connected
                               || m_socket.bytesToWrite() == 0;
                   },
                   QDeadlineTimer(msecs, Qt::PreciseTimer))
            && m_open;
}

qint64 NetworkLine::bytesToWrite() const
{
    return m_socket.bytesToWrite();
}

QByteArray NetworkLine::readAll()
{
    return read(m_input.size());
}

QByteArray NetworkLine::read(qint64 maxSize)
{
    const qsizetype count = qsizetype(std::clamp<qint64>(maxSize, 0, m_input.size()));
    const QByteArray bytes = m_input.first(count);
    m_input.remove(0, count);
    // Reading stopped when the queue was full; what the socket holds comes in now.
    if (m_open && m_socket.bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &NetworkLine::onReadyRead, Qt::QueuedConnection);
    return bytes;
}

void NetworkLine::onReadyRead()
{
    const qsizetype before = m_input.size();
    pullFromSocket();
    if (m_open && m_input.size() > before)
        emit readyRead();
}

void NetworkLine::pullFromSocket()
{
    while (m_socket.bytesAvailable() > 0 && m_input.size() < MaxWaitingInput) {
        const QByteArray chunk =
                m_socket.read(std::min<qint64>(ReadChunk, MaxWaitingInput - m_input.size()));
        if (chunk.isEmpty())
            break;
        m_serverSpoke = true;
        QByteArray data;
        if (!m_telnet) {
            data = chunk;
        } else {
            TelnetCodec::Decoded decoded = m_codec.decode(chunk);
            if (!decoded.answers.isEmpty())
                sendRaw(decoded.answers);
            qsizetype fresh = 0;
            for (const TelnetCodec::ComPortReply &reply : decoded.replies) {
                Confirmation &c = m_confirmations[reply.command];
                if (c.answered >= c.requested)
                    continue; // nobody asked: a server's notice, not an answer
                ++c.answered;
                c.value = reply.value;
                // Whatever came before the server emptied its buffers is as old as they were.
                if (reply.command == quint8(ComPort::PurgeData)) {
                    m_input.clear();
                    fresh = reply.dataOffset;
                }
            }
            data = decoded.data.sliced(fresh);
        }
        if (m_opening && m_greeting.size() < MaxGreeting)
            m_greeting += data.first(std::min(data.size(), MaxGreeting - m_greeting.size()));
        m_input += data;
    }
}

void NetworkLine::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
}

void NetworkLine::onErrorOccurred(TcpStream::Error error)
{
    // The server's last words come before its close.
    pullFromSocket();
    if (!m_open)
        return;
    const QString reason = error == TcpStream::Error::RemoteClosed
            ? tr("%1: the server closed the connection.").arg(m_address.text())
            : tr("%1: the connection failed: %2").arg(m_address.text(), m_socket.errorString());
    m_open = false;
    ++m_generation;
    m_socket.abort();
    emit lost(reason);
}

NetworkStatus NetworkLine::failOpen(Failure failure, const QString &message)
{
    m_socket.abort();
    m_input.clear();
    return { failure, message, {} };
}

QString NetworkLine::closedDuringOpen() const
{
    qsizetype end = m_greeting.indexOf('\n');
    if (const qsizetype cr = m_greeting.indexOf('\r'); cr >= 0 && (end < 0 || cr < end))
        end = cr;
    const QByteArray words = m_greeting.first(end < 0 ? m_greeting.size() : end).trimmed();
    if (words.isEmpty()) {
        return tr("%1 closed the connection as soon as it was made: another client may hold "
                  "its port.")
                .arg(m_address.text());
    }
    return tr("%1 is in use: the server said \"%2\" and closed the connection.")
            .arg(m_address.text(), QString::fromLatin1(escapedExcerpt(words)));
}
