// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/mscomm.h"

#include "serial/lossreason.h"
#include "serial/network/networkline.h"
#include "serial/permissionadvice.h"
#include "serial/ports/modemmanager.h"
#include "serial/ports/portmap.h"
#include "platform/escaping.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <algorithm>
#include <unistd.h>

namespace {

struct LineSettings
{
    qint32 baud = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

std::optional<LineSettings> parseSettings(const QString &text)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings s;
    bool ok = false;
    s.baud = fields[0].toInt(&ok);
    if (!ok || s.baud <= 0)
        return std::nullopt;

    const QString parity = fields[1].toUpper();
    if (parity == u"N")
        s.parity = QSerialPort::NoParity;
    else if (parity == u"E")
        s.parity = QSerialPort::EvenParity;
    else if (parity == u"O")
        s.parity = QSerialPort::OddParity;
    else if (parity == u"M")
        s.parity = QSerialPort::MarkParity;
    else if (parity == u"S")
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = fields[2].toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    s.dataBits = QSerialPort::DataBits(dataBits);

    if (fields[3] == u"1")
        s.stopBits = QSerialPort::OneStop;
    else if (fields[3] == u"1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (fields[3] == u"2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

NetworkLineSettings networkSettings(const LineSettings &s)
{
    NetworkLineSettings n;
    n.baud = quint32(s.baud);
    n.dataBits = quint8(s.dataBits);
    switch (s.parity) {
    case QSerialPort::EvenParity:
        n.parity = 'E';
        break;
    case QSerialPort::OddParity:
        n.parity = 'O';
        break;
    case QSerialPort::MarkParity:
        n.parity = 'M';
        break;
    case QSerialPort::SpaceParity:
        n.parity = 'S';
        break;
    default:
        n.parity = 'N';
        break;
    }
    n.stopBits = s.stopBits == QSerialPort::TwoStop     ? NetworkLineSettings::StopBits::Two
            : s.stopBits == QSerialPort::OneAndHalfStop ? NetworkLineSettings::StopBits::OneAndHalf
                                                        : NetworkLineSettings::StopBits::One;
    return n;
}

// A device server that cannot be reached, or is no RFC 2217 server, is a device that is not
// there; one that turns the client away is a port in use, as a locked device is.
int codeFor(NetworkStatus::Failure failure)
{
    switch (failure) {
    case NetworkStatus::Failure::BadAddress:
    case NetworkStatus::Failure::UnknownHost:
    case NetworkStatus::Failure::Refused:
    case NetworkStatus::Failure::TimedOut:
    case NetworkStatus::Failure::NoComPortOption:
        return CommError::InvalidPortNumber;
    case NetworkStatus::Failure::InUse:
        return CommError::PortAlreadyOpen;
    default:
        return CommError::DeviceUnavailable;
    }
}

// ModemManager holds a device it probes, for seconds, and keeps doing so with every new one
// unless told otherwise; telling it is the user's to do.
QString modemManagerNote(const QString &device, const QList<pid_t> &holders)
{
    if (std::any_of(holders.cbegin(), holders.cend(), ModemManager::isModemManager))
        return u' ' + ModemManager::advice(device);
    // A user cannot see which of root's programs hold a device, ModemManager among them.
    if (holders.isEmpty() && ModemManager::runs() && !ModemManager::leavesAlone(device))
        return QStringLiteral(" ModemManager runs, and may be that program. ")
                + ModemManager::advice(device);
    return {};
}

} // namespace

MSComm::MSComm(QObject *parent) : QObject(parent)
{
    m_port.setReadBufferSize(0);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &MSComm::onBytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onErrorOccurred);
}

MSComm::~MSComm() = default;

CommStatus MSComm::stillOpening()
{
    // Waiting for a device server lets events through, a second "Open port" among them: it
    // must not change the port or the line that the first is opening.
    return { CommError::PortAlreadyOpen, QStringLiteral("The port is still being opened.") };
}

CommStatus MSComm::setCommPort(int number)
{
    if (m_opening)
        return stillOpening();
    if (number < 1 || number > 32767)
        return { CommError::InvalidPortNumber,
                 QStringLiteral("COM%1 is not a port number.").arg(number) };
    if (PortOpen() && number == m_commPort)
        return { CommError::PortAlreadyOpen,
                 QStringLiteral("%1 is already open.").arg(escapedString(m_device)) };
    if (PortOpen())
        return { CommError::PortAlreadyOpen,
                 QStringLiteral("%1 is open; close it before choosing another port.")
                         .arg(escapedString(m_device)) };
    m_commPort = qint16(number);
    return {};
}

CommStatus MSComm::setSettings(const QString &settings)
{
    if (m_opening)
        return stillOpening();
    if (!parseSettings(settings))
        return { CommError::InvalidPropertyValue,
                 QStringLiteral("\"%1\" is no line setting.").arg(settings) };
    m_settings = settings;
    return PortOpen() ? applySettings() : CommStatus{};
}

bool MSComm::PortOpen() const
{
    return m_port.isOpen() || networkOpen();
}

bool MSComm::networkOpen() const
{
    return m_network && m_network->isOpen();
}

CommStatus MSComm::applySettings()
{
    const LineSettings s = *parseSettings(m_settings);
    if (networkOpen()) {
        // The far port follows, so the modem's new rate is the line's too.
        const NetworkStatus status = m_network->setLineSettings(networkSettings(s));
        if (!status.ok())
            return { CommError::CannotConfigure, status.message };
        warn(status.warning);
        return {};
    }
    const bool ok = m_port.setBaudRate(s.baud) && m_port.setParity(s.parity)
            && m_port.setDataBits(s.dataBits) && m_port.setStopBits(s.stopBits)
            && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        return { CommError::CannotConfigure, m_port.errorString() };
    return {};
}

CommStatus MSComm::setPortOpen(bool open)
{
    if (open)
        return this->open();
    if (PortOpen()) {
        closePort();
        emit portOpenChanged(false);
    } else if (m_network) {
        // An open still waiting for its server gives up.
        m_network->close();
    }
    return {};
}

void MSComm::closePort()
{
    if (m_network)
        m_network->close();
    m_port.close();
    m_lock.release();
}

CommStatus MSComm::open()
{
    if (PortOpen())
        return { CommError::PortAlreadyOpen,
                 QStringLiteral("%1 is already open.").arg(escapedString(m_device)) };
    if (m_opening)
        return stillOpening();

    // The path may come from the user's settings file, and hold anything.
    const QString device = PortMap::devicePath(m_commPort);
    const QString shown = escapedString(device);
    if (device.isEmpty())
        return { CommError::InvalidPortNumber,
                 QStringLiteral("No serial device is known as COM%1.").arg(m_commPort) };
    if (isNetworkAddress(device))
        return openNetwork(device);
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(device))
        return { CommError::InvalidPortNumber,
                 QStringLiteral("COM%1 is %2, which does not exist.").arg(m_commPort).arg(shown) };
    // Qt reports a busy port and a missing permission alike; only the second is the
    // user's to fix, so it is told apart before trying.
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
        return { CommError::DeviceUnavailable, permissionAdvice(device) };
    if (const std::optional<SerialLock::Refusal> refusal = m_lock.acquire(device)) {
        if (refusal->kind == SerialLock::Refusal::Kind::InUse)
            return { CommError::PortAlreadyOpen,
                     refusal->detail + modemManagerNote(device, refusal->holders) };
        return { CommError::DeviceUnavailable, refusal->detail };
    }
#endif

    m_device = device;
    // Through the lock's own descriptor, so that Qt's lock file keeps clear of everyone else's.
    m_port.setPortName(m_lock.held() ? m_lock.openPath() : device);
    // Errors while opening belong to this open and are reported by its result; only errors
    // of an open port mean that the device went away.
    const QScopedValueRollback opening(m_opening, true);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lock.release();
        const QString reason = QStringLiteral("%1: %2").arg(shown, m_port.errorString());
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return { CommError::InvalidPortNumber, reason };
        case QSerialPort::PermissionError:
            return { CommError::PortAlreadyOpen,
                     QStringLiteral("%1 is in use by another program.").arg(shown)
                             + modemManagerNote(device, {}) };
        default:
            return { CommError::DeviceUnavailable, reason };
        }
    }
    if (CommStatus status = applySettings(); !status.ok()) {
        closePort();
        return status;
    }
    // Whatever sat in the device's queue before this open was meant for nobody here.
    m_port.clear(QSerialPort::Input);
    emit portOpenChanged(true);
    return {};
}

CommStatus MSComm::openNetwork(const QString &address)
{
    if (!m_network) {
        m_network = std::make_unique<NetworkLine>();
        connect(m_network.get(), &NetworkLine::readyRead, this, &MSComm::onReadyRead);
        connect(m_network.get(), &NetworkLine::bytesWritten, this, &MSComm::onBytesWritten);
        connect(m_network.get(), &NetworkLine::lost, this, &MSComm::onNetworkLost);
    }
    // A device server takes one client at a time and says so itself: no lock file, no
    // flock, nothing of this machine's to claim.
    const QScopedValueRollback opening(m_opening, true);
    const NetworkStatus status =
            m_network->open(address, networkSettings(*parseSettings(m_settings)));
    if (!status.ok()) {
        const QString reason = status.failure == NetworkStatus::Failure::BadAddress
                ? QStringLiteral("COM%1: %2").arg(m_commPort).arg(status.message)
                : status.message;
        return { codeFor(status.failure), reason };
    }
    m_device = address;
    emit portOpenChanged(true);
    warn(status.warning);
    return {};
}

void MSComm::warn(const QString &warning)
{
    if (warning.isEmpty() || m_warned.contains(warning))
        return;
    m_warned.insert(warning);
    emit lineWarning(warning);
}

void MSComm::onNetworkLost(const QString &reason)
{
    // The line has closed itself; the component follows, as after a device hang-up.
    emit portOpenChanged(false);
    emit deviceLost(reason);
}

CommStatus MSComm::setOutput(const QString &text)
{
    if (!PortOpen())
        return { CommError::PortNotOpen, QStringLiteral("The port is not open.") };
    // One byte per character as the user sees it: a character outside Latin-1 is one "?",
    // even where it takes two UTF-16 units.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        bytes.append(c <= 0xff ? char(c) : '?');
    if (networkOpen()) {
        emit dataSent(bytes, QDateTime::currentMSecsSinceEpoch());
        // A connection that has failed says so only here, and its report closes the line.
        if (!m_network->write(bytes))
            return { CommError::ReadWriteFailed,
                     QStringLiteral("%1 went away while writing.").arg(m_device) };
        return {};
    }
    if (m_port.write(bytes) != bytes.size())
        return { CommError::ReadWriteFailed, m_port.errorString() };
    emit dataSent(bytes, QDateTime::currentMSecsSinceEpoch());
    // A device that has gone away fails only here, and the error report closes the port.
    m_port.flush();
    if (!m_port.isOpen())
        return { CommError::ReadWriteFailed,
                 QStringLiteral("%1 went away while writing.").arg(escapedString(m_device)) };
    return {};
}

QString MSComm::Input()
{
    QByteArray bytes;
    if (networkOpen())
        bytes = m_inputLen > 0 ? m_network->read(m_inputLen) : m_network->readAll();
    else
        bytes = m_inputLen > 0 ? m_port.read(m_inputLen) : m_port.readAll();
    if (!bytes.isEmpty())
        emit dataReceived(bytes, QDateTime::currentMSecsSinceEpoch());
    return QString::fromLatin1(bytes);
}

int MSComm::InBufferCount() const
{
    return int(bytesWaiting());
}

qint64 MSComm::bytesWaiting() const
{
    if (networkOpen())
        return m_network->bytesAvailable();
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

bool MSComm::drainOutput(int msecs)
{
    if (networkOpen())
        return m_network->drainOutput(msecs);
    const QDeadlineTimer deadline(msecs);
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

void MSComm::onReadyRead()
{
    if (m_rThreshold <= 0 || bytesWaiting() < m_rThreshold)
        return;
    m_commEvent = CommEvents::Receive;
    emit OnComm();
}

void MSComm::onBytesWritten()
{
    const qint64 left = networkOpen() ? m_network->bytesToWrite() : m_port.bytesToWrite();
    if (m_sThreshold <= 0 || left > 0)
        return;
    m_commEvent = CommEvents::Send;
    emit OnComm();
}

void MSComm::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // Once a device has hung up, Qt keeps reporting the same read error for as long as
    // the descriptor stays open, as fast as it can. Closing on the first one ends that.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || m_opening
        || !m_port.isOpen())
        return;
    const QString reason = lossReason(m_lock.held() ? m_lock.device() : m_device,
                                      m_lock.descriptor(), m_port.errorString());
    m_port.clearError();
    closePort();
    emit portOpenChanged(false);
    emit deviceLost(reason);
}
