// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/transcript.h"

#include "platform/escaping.h"
#include "platform/fdio.h"
#include "serial/mscomm.h"
#include "serial/baudrates.h"
#include "serial/network/networkaddress.h"
#include "serial/numbertext.h"
#include "serial/ports/portmap.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray timeOf(qint64 atMsecs)
{
    return QDateTime::fromMSecsSinceEpoch(atMsecs)
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
            .toLatin1();
}

QByteArray utcOffset(const QDateTime &time)
{
    const int minutes = time.offsetFromUtc() / 60;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', qAbs(minutes) / 60,
                  qAbs(minutes) % 60);
    return text;
}

} // namespace

Transcript::Transcript(QObject *parent) : QObject(parent) { }

Transcript::~Transcript()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Transcript::start(const QString &path, const QString &frontEnd, const QString &portText,
                       const QString &baudText, const MSComm &comm)
{
    m_path = path;
    // Without O_NONBLOCK a FIFO with no reader would hold the start until one comes, and a
    // full pipe every later write; with it both are failures, said once. Without O_NOFOLLOW a
    // link that another user put in a shared folder would have the record go where they chose.
    m_fd = ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        fail(errno);
        return;
    }

    // A text without digits is no COM0: the open refuses it as what the user typed.
    const std::optional<double> value = leadingNumber(portText);
    const std::optional<qint16> number = value ? toInt16HalfEven(*value) : std::nullopt;
    const QString device = number ? PortMap::devicePath(*number) : QString();
    const QByteArray port = number ? "COM" + QByteArray::number(number.value_or(0))
                                   : '"' + escapedText(portText) + '"';
    const QDateTime now = QDateTime::currentDateTime();
    QByteArray header = "# Korvanet session transcript\n";
    header += "# date: " + now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ' '
            + utcOffset(now) + '\n';
    header += "# version: " KORVANET_VERSION "\n";
    header += "# front end: " + escapedText(frontEnd) + '\n';
    header += "# port: " + port + '\n';
    header += "# device: " + (device.isEmpty() ? QByteArray("none") : escapedText(device)) + '\n';
    header += "# line: " + escapedText(portSettingsForBaudText(baudText).value_or(comm.Settings()))
            + '\n';
    if (const std::optional<NetworkAddress> address = parseNetworkAddress(device).address;
        address && address->protocol == NetworkAddress::Protocol::RawTcp)
        header += "# note: tcp:// carries bytes only; the line's rate is set at the server, not "
                  "from here\n";
    writeLine(header);
}

void Transcript::attach(const MSComm &comm)
{
    connect(&comm, &MSComm::dataSent, this,
            [this](const QByteArray &bytes, qint64 at) { write(at, "sent", escapedBytes(bytes)); });
    connect(&comm, &MSComm::dataReceived, this, [this](const QByteArray &bytes, qint64 at) {
        write(at, "received", escapedBytes(bytes));
    });
    connect(&comm, &MSComm::portOpenChanged, this, [this, &comm](bool open) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!open) {
            write(now, "close", {});
            return;
        }
        write(now, "open",
              "COM" + QByteArray::number(comm.CommPort()) + ' ' + escapedText(comm.deviceName())
                      + ' ' + escapedText(comm.Settings()));
        for (const QString &warning : comm.lockWarnings())
            write(now, "warning", escapedText(warning));
    });
    connect(&comm, &MSComm::deviceLost, this, [this](const QString &reason) {
        write(QDateTime::currentMSecsSinceEpoch(), "lost", escapedText(reason));
    });
    connect(&comm, &MSComm::lineWarning, this, [this](const QString &warning) {
        write(QDateTime::currentMSecsSinceEpoch(), "warning", escapedText(warning));
    });
}

void Transcript::record(QByteArrayView event, const QString &text, const QString &detail)
{
    QByteArray line = escapedText(text);
    if (!detail.isEmpty())
        line += "\\n" + escapedText(detail);
    write(QDateTime::currentMSecsSinceEpoch(), event, line);
}

void Transcript::write(qint64 atMsecs, QByteArrayView event, QByteArrayView text)
{
    if (m_fd < 0)
        return;
    QByteArray line = timeOf(atMsecs) + ' ' + event.toByteArray();
    if (!text.isEmpty())
        line += ' ' + text.toByteArray();
    writeLine(line + '\n');
}

void Transcript::writeLine(const QByteArray &line)
{
    if (m_fd < 0)
        return;
    if (const int error = writeAll(m_fd, line))
        fail(error);
}

void Transcript::fail(int error)
{
    // O_NOFOLLOW reports a link as too many levels of them, which would puzzle anyone.
    const char *reason =
            error == ELOOP ? "a symbolic link, which is not followed" : std::strerror(error);
    std::fprintf(stderr, "korvanet: transcript %s: %s; the session goes on without it.\n",
                 QFile::encodeName(m_path).constData(), reason);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
