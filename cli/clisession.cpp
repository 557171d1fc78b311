// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/clisession.h"

#include "cli/output.h"
#include "modem/framing.h"
#include "platform/escaping.h"
#include "serial/baudrates.h"
#include "session/portopening.h"
#include "session/termination.h"

CliSession::CliSession(const QString &frontEnd, const QString &portText, const QString &baudText,
                       const QString &transcriptPath)
    : m_portText(portText), m_baudText(baudText)
{
    if (!transcriptPath.isEmpty()) {
        m_transcript.start(transcriptPath, frontEnd, portText, baudText, m_comm);
        m_transcript.attach(m_comm);
    }
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &CliSession::wakeWaiter);
    connect(&m_comm, &MSComm::OnComm, this, &CliSession::onComm);
    connect(&m_comm, &MSComm::deviceLost, this, [this](const QString &reason) {
        fail({ CommError::DeviceUnavailable, reason });
    });
    // Not a failure: the run goes on, and its exit status stays the replies' own.
    connect(&m_comm, &MSComm::lineWarning, this,
            [](const QString &warning) { sayOnStderr(warning); });
}

CliSession::~CliSession()
{
    closePort();
}

CommStatus CliSession::sendFrame(const QString &command)
{
    if (m_failed)
        return { CommError::PortNotOpen, QStringLiteral("The port is not open.") };
    // What came before this frame went out is no answer to it: taken in first, it goes to
    // the questions it belongs to, or counts as unasked.
    takeInput();
    const CommStatus status = ::sendFrame(m_comm, command);
    // A run that a signal is ending says so once, in its own words.
    if (!status.ok() && !Termination::pending()) {
        fail(status);
        return status;
    }
    m_lastQuestion = m_replies.expect(command);
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
            say(warning);
        m_warned.insert(warning);
    }
    return status;
}

void CliSession::closePort()
{
    // The last frame of a run must not be cut off by its end.
    m_comm.drainOutput(1000);
    takeInput();
    m_replies.restart();
    [[maybe_unused]] const CommStatus closed = m_comm.setPortOpen(false);
}

Task<Replies::Reply> CliSession::reply(QDeadlineTimer deadline)
{
    const int question = m_lastQuestion;
    takeInput();
    while (!m_replies.answered(question) && m_replies.owed(question) && !m_failed
           && !deadline.hasExpired()) {
        m_deadline.start(int((deadline.remainingTimeNSecs() + 999999) / 1000000));
        co_await Wake{ this };
    }
    m_deadline.stop();
    if (!m_replies.answered(question))
        m_replies.giveUp(question);
    co_return m_replies.reply(question);
}

Task<Replies::Reply> CliSession::ask(QString command, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    if (!sendFrame(command).ok())
        co_return Replies::Reply();
    co_return co_await reply(deadline);
}

void CliSession::followRate(const QString &serialParams)
{
    const QString rate = serialParams.section(u',', 0, 0);
    if (portSettingsForBaudText(rate))
        m_baudText = rate;
}

CommStatus CliSession::setRate(const QString &rate)
{
    const std::optional<QString> settings = portSettingsForBaudText(rate);
    if (!settings)
        return { CommError::InvalidPropertyValue, QStringLiteral("%1 is no rate").arg(rate) };
    takeInput();
    m_replies.restart();
    m_baudText = rate;
    return m_comm.setSettings(*settings);
}

bool CliSession::reportGarbled(const QString &command, const Replies::Reply &reply)
{
    if (isPrintableAscii(reply.text))
        return false;
    say(QStringLiteral("the reply to %1 holds bytes no modem sends at the right rate: \"%2\"; "
                       "the PC's rate (%3) may not be the modem's (--baud auto finds it)")
                .arg(command, QString::fromLatin1(escapedBytes(reply.text)), m_baudText));
    return true;
}

void CliSession::reportTimeout(const QString &command, int timeoutMs, const QByteArray &partial)
{
    m_transcript.record("timeout", command);
    // Bytes that never made a line are no silence: at another rate, a modem's answer comes as
    // such bytes.
    if (reportGarbled(command, { partial, false, false }))
        return;
    if (partial.isEmpty()) {
        say(QStringLiteral("no reply to %1 within %2 ms").arg(command).arg(timeoutMs));
    } else {
        say(QStringLiteral("no whole reply to %1 within %2 ms, only \"%3\"")
                    .arg(command)
                    .arg(timeoutMs)
                    .arg(QString::fromLatin1(escapedBytes(partial))));
    }
}

bool CliSession::reportDoubts()
{
    for (const auto &[command, reply] : m_replies.lateReplies()) {
        const QString text = QString::fromLatin1(escapedBytes(reply.text));
        say(QStringLiteral("the reply to %1 came late: \"%2\"").arg(command, text));
        m_transcript.record("late", command + u' ' + QString::fromLatin1(reply.text));
    }
    for (const QByteArray &line : m_replies.unasked()) {
        const QString text = QString::fromLatin1(escapedBytes(line));
        say(QStringLiteral("a line no command asked for: \"%1\"").arg(text));
        m_transcript.record("unasked", QString::fromLatin1(line));
    }
    if (!m_replies.doubtful())
        return false;
    say(QStringLiteral("the modem's lines did not keep to its questions; the "
                       "answers above may not be what it holds"));
    return true;
}

void CliSession::say(const QString &text) const
{
    sayOnStderr(m_speaker + text);
}

void CliSession::onComm()
{
    if (m_comm.CommEvent() != CommEvents::Receive)
        return;
    takeInput();
    if (m_waiter && m_replies.answered(m_lastQuestion))
        wakeWaiter();
}

void CliSession::takeInput()
{
    if (m_comm.InBufferCount() > 0)
        m_replies.feed(m_comm.Input().toLatin1());
}

void CliSession::fail(const CommStatus &status)
{
    if (m_failed)
        return;
    m_failed = true;
    say(messageFor(status.code));
    if (!status.reason.isEmpty())
        say(status.reason);
    m_transcript.record("error", messageFor(status.code), status.reason);
    wakeWaiter();
}

void CliSession::wakeWaiter()
{
    if (!m_waiter)
        return;
    QMetaObject::invokeMethod(
            this,
            [this] {
                if (const std::coroutine_handle<> waiter = std::exchange(m_waiter, {}))
                    waiter.resume();
            },
            Qt::QueuedConnection);
}
