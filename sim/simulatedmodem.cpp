// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulatedmodem.h"

#include "platform/pty.h"
#include "sim/modemcommands.h"
#include "sim/serialline.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

SimulatedModem::SimulatedModem(QObject *parent) : QObject(parent)
{
    m_state.current.serialRate = m_state.saved.serialRate = m_serialRate;
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_replyTimer, &QTimer::timeout, this, &SimulatedModem::sendDueReplies);
    connect(&m_hostNotifier, &QSocketNotifier::activated, this, &SimulatedModem::readHost);
    m_floodTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_floodTimer, &QTimer::timeout, this, [this] {
        const QByteArray line = "RX " + QByteArray::number(m_state.signal.nextRssi()) + " dBm\r\n";
        [[maybe_unused]] const ssize_t written =
                ::write(m_master, line.constData(), size_t(line.size()));
    });
}

SimulatedModem::~SimulatedModem()
{
    m_hostNotifier.setEnabled(false);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool SimulatedModem::start(QString *error)
{
    Q_ASSERT(m_master < 0);
    RawPty pty;
    if (!openRawPty(pty, error, SerialLine::speedFor(m_serialRate)))
        return false;
    m_master = pty.master;
    m_slave = pty.slave;
    m_slavePath = pty.slavePath;

    // The slave stays open here for good: the master then never reads as hung up when the
    // utility closes its end, so the notifier cannot spin on an endless EIO.
    m_hostNotifier.setSocket(m_master);
    m_hostNotifier.setEnabled(true);
    return true;
}

bool SimulatedModem::setSerialRate(int baud)
{
    if (!SerialLine::isSupportedRate(baud))
        return false;
    m_state.current.serialRate = m_state.saved.serialRate = baud;
    moveLineTo(baud);
    return true;
}

void SimulatedModem::powerCycle()
{
    m_pending.clear();
    m_replyTimer.stop();
    m_splitter.clear();
    m_state.powerCycle();
    moveLineTo(m_state.current.serialRate);
}

void SimulatedModem::readHost()
{
    char buffer[4096];
    const ssize_t count = ::read(m_master, buffer, sizeof buffer);
    if (count < 0 && errno != EAGAIN && errno != EINTR) {
        qWarning("SimulatedModem: reading the line failed: %s", qPrintable(qt_error_string(errno)));
        m_hostNotifier.setEnabled(false);
        return;
    }
    if (count <= 0)
        return;

    // The speed is taken per chunk, as the utility may change it between two writes.
    const int rate = hostRate();
    if (rate != m_serialRate) {
        m_splitter.clear();
        emit lineMismatched(rate);
        queueReply(SerialLine::garble(count));
        return;
    }
    for (const LineSplitter::Line &line : m_splitter.feed(QByteArrayView(buffer, count)))
        answer(line);
}

void SimulatedModem::answer(const LineSplitter::Line &line)
{
    emit frameReceived(line.text);
    if (line.overlong) {
        queueReply(QByteArray(errorReply) + "\r\n");
        return;
    }

    if (!m_refused.isEmpty() && line.text.startsWith(m_refused)) {
        queueReply(QByteArray(errorReply) + "\r\n", 0, line.text.size() + 2);
        return;
    }
    if (!m_ignored.isEmpty() && line.text.startsWith(m_ignored)) {
        queueReply("OK\r\n", 0, line.text.size() + 2);
        return;
    }
    const CommandOutcome outcome = executeCommand(line.text, m_state);
    const bool movesLine = outcome.effect == CommandOutcome::Effect::SerialRateChanged;
    // The acknowledgement still goes out at the old speed; only then does the UART switch.
    // The command came with its CR LF, or a lone CR or LF: two bytes at most.
    queueReply(outcome.reply + "\r\n", movesLine ? m_state.current.serialRate : 0,
               line.text.size() + 2);
    if (outcome.effect == CommandOutcome::Effect::Saved)
        emit settingsSaved();
    else if (outcome.effect == CommandOutcome::Effect::FactoryReset)
        emit factoryReset();
}

void SimulatedModem::queueReply(const QByteArray &bytes, int nextRate, qsizetype commandBytes)
{
    if (m_silent)
        return;
    using namespace std::chrono;
    const nanoseconds wait = milliseconds(m_replyDelay)
            + (m_linePaced ? lineTime(commandBytes + bytes.size()) : nanoseconds(0));
    m_pending.push_back({ bytes, QDeadlineTimer(wait, Qt::PreciseTimer), nextRate });
    if (!m_replyTimer.isActive())
        m_replyTimer.start(ceil<milliseconds>(wait));
}

std::chrono::nanoseconds SimulatedModem::lineTime(qsizetype bytes) const
{
    // A start bit, eight data bits and a stop bit.
    return std::chrono::nanoseconds(qint64(bytes) * 10 * 1000000000 / m_serialRate);
}

void SimulatedModem::setFlood(int msecs)
{
    m_floodTimer.stop();
    if (msecs > 0)
        m_floodTimer.start(msecs);
}

void SimulatedModem::sendDueReplies()
{
    while (!m_pending.empty() && m_pending.front().due.hasExpired()) {
        PendingReply &front = m_pending.front();
        // A host that stops reading loses what no longer fits, as with a real UART: the modem
        // never waits for it.
        const qsizetype chunk = m_drip > 0 ? 1 : front.bytes.size() - front.dripped;
        [[maybe_unused]] const ssize_t written =
                ::write(m_master, front.bytes.constData() + front.dripped, size_t(chunk));
        front.dripped += chunk;
        if (front.dripped < front.bytes.size()) {
            front.due = QDeadlineTimer(m_drip, Qt::PreciseTimer);
            break;
        }
        const PendingReply reply = std::move(front);
        m_pending.pop_front();
        emit replySent(reply.bytes);
        if (reply.nextRate != 0)
            moveLineTo(reply.nextRate);
    }
    if (!m_pending.empty())
        m_replyTimer.start(std::chrono::milliseconds(m_pending.front().due.remainingTime()));
}

void SimulatedModem::moveLineTo(int baud)
{
    if (baud == m_serialRate)
        return;
    m_serialRate = baud;
    emit serialRateChanged(baud);
}

int SimulatedModem::hostRate() const
{
    // On Linux the master reports the slave's settings, which are the ones the utility chose.
    termios settings{};
    if (::tcgetattr(m_master, &settings) != 0)
        return 0;
    return SerialLine::rateOf(::cfgetospeed(&settings));
}
