// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/clisession.h"

#include "app/endonsignal.h"
#include "modem/framing.h"
#include "serial/numbertext.h"
#include "serial/portopening.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

void sayOnStderr(const QString &text)
{
    std::fprintf(stderr, "korvanet: %s\n", text.toLocal8Bit().constData());
}

CliSession::CliSession(const QString &frontEnd, const QString &portText, const QString &baudText,
                       const QString &transcriptPath)
    : m_portText(portText), m_baudText(baudText)
{
    if (!transcriptPath.isEmpty()) {
        m_transcript.start(transcriptPath, frontEnd, portText, baudText, m_comm);
        m_transcript.attach(m_comm);
    }
    // A run stopped by SIGTERM or Ctrl-C leaves no lock behind and sends nothing more.
    if (QString error; !endOnTerminationSignals(m_comm, &error))
        sayOnStderr(QStringLiteral("signals: %1").arg(error));
    connect(&m_comm, &MSComm::OnComm, this, &CliSession::onComm);
    connect(&m_comm, &MSComm::deviceLost, this, [this](const QString &reason) {
        fail({ CommError::DeviceUnavailable, reason });
    });
}

CliSession::~CliSession()
{
    closePort();
}

CommStatus CliSession::sendFrame(const QString &command)
{
    if (m_failed)
        return { CommError::PortNotOpen, tr("The port is not open.") };
    // Read rather than discarded, so the transcript still has it.
    takeInput();
    m_received.clear();
    const CommStatus status = ::sendFrame(m_comm, command);
    if (!status.ok())
        fail(status);
    return status;
}

CommStatus CliSession::openPort()
{
    const CommStatus status = openPortFromText(m_comm, m_portText, m_baudText);
    if (!status.ok())
        fail(status);
    // Once a run: a reopen at another rate finds the same.
    for (const QString &warning : m_comm.lockWarnings()) {
        if (!m_warned.contains(warning))
            sayOnStderr(warning);
        m_warned.insert(warning);
    }
    return status;
}

void CliSession::closePort()
{
    // Whatever is still on its way to the modem goes before the port closes; the last frame
    // of a run must not be cut off by its end.
    m_comm.drainOutput(1000);
    [[maybe_unused]] const CommStatus closed = m_comm.setPortOpen(false);
}

void CliSession::wait(int msecs)
{
    runUntil(QDeadlineTimer(msecs, Qt::PreciseTimer), [] { return false; });
}

std::optional<QByteArray> CliSession::reply(const QDeadlineTimer &deadline)
{
    std::optional<QByteArray> line = takeLine();
    runUntil(deadline, [this, &line] {
        if (!line)
            line = takeLine();
        return line.has_value() || m_failed;
    });
    return line;
}

void CliSession::followRate(const QString &serialParams)
{
    const QString rate = serialParams.section(u',', 0, 0);
    if (portSettingsForBaudText(rate))
        m_baudText = rate;
}

void CliSession::reportTimeout(const QString &command, int timeoutMs)
{
    sayOnStderr(tr("no reply to %1 within %2 ms").arg(command).arg(timeoutMs));
    m_transcript.record("timeout", command);
}

void CliSession::onComm()
{
    if (m_comm.CommEvent() == CommEvents::Receive)
        takeInput();
}

void CliSession::takeInput()
{
    if (m_comm.InBufferCount() > 0)
        m_received += m_comm.Input().toLatin1();
}

void CliSession::fail(const CommStatus &status)
{
    if (m_failed)
        return;
    m_failed = true;
    sayOnStderr(messageFor(status.code));
    if (!status.reason.isEmpty())
        sayOnStderr(status.reason);
    m_transcript.record("error", messageFor(status.code), status.reason);
}

void CliSession::runUntil(const QDeadlineTimer &deadline, const std::function<bool()> &done)
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done() && !deadline.hasExpired()) {
        // Rounded up, so the wake-up never comes before the deadline and the loop never spins.
        const qint64 nsecs = deadline.remainingTimeNSecs();
        wake.start(int((nsecs + 999999) / 1000000));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

std::optional<QByteArray> CliSession::takeLine()
{
    // A reply ends at CR, LF or both; an empty line between two replies is none.
    for (;;) {
        const auto end = std::find_if(m_received.cbegin(), m_received.cend(),
                                      [](char c) { return c == '\r' || c == '\n'; });
        if (end == m_received.cend())
            return std::nullopt;
        const qsizetype length = end - m_received.cbegin();
        const QByteArray line = m_received.left(length);
        m_received.remove(0, length + 1);
        if (!line.isEmpty())
            return line;
    }
}
