// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/clisession.h"

#include "modem/framing.h"
#include "platform/eventwait.h"
#include "serial/baudrates.h"
#include "session/portopening.h"
#include "session/termination.h"

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
        return { CommError::PortNotOpen, QStringLiteral("The port is not open.") };
    // Read rather than discarded, so the transcript still has it.
    takeInput();
    m_lines.clear();
    m_replies.clear();
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
    EventWait::until(QDeadlineTimer(msecs, Qt::PreciseTimer), [] { return false; });
}

std::optional<QByteArray> CliSession::reply(const QDeadlineTimer &deadline)
{
    EventWait::until(deadline, [this] { return !m_replies.isEmpty() || m_failed; });
    if (m_replies.isEmpty())
        return std::nullopt;
    return m_replies.takeFirst().text;
}

void CliSession::followRate(const QString &serialParams)
{
    const QString rate = serialParams.section(u',', 0, 0);
    if (portSettingsForBaudText(rate))
        m_baudText = rate;
}

void CliSession::reportTimeout(const QString &command, int timeoutMs)
{
    sayOnStderr(QStringLiteral("no reply to %1 within %2 ms").arg(command).arg(timeoutMs));
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
        m_replies += m_lines.feed(m_comm.Input().toLatin1());
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
