// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/pty.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>

#include <functional>

// The paced wait counts whole ticks of a millisecond clock, so a wait of `intervalMs` can end
// up to one tick early in real time; anything shorter is a wait that was cut short.
[[nodiscard]] inline bool waitedAtLeast(qint64 nanoseconds, int intervalMs)
{
    return nanoseconds > (qint64(intervalMs) - 1) * 1000000;
}

[[nodiscard]] inline QByteArray milliseconds(qint64 nanoseconds)
{
    return QByteArray::number(double(nanoseconds) / 1e6, 'f', 3) + " ms";
}

// Watches the master of a PtyPair from the event loop, so the frames that a handler writes
// between its paced waits are seen while the handler still runs. Each frame gets the window
// in which it must have been written: after `earliest` (the last look that found nothing
// pending) and before `latest` (the look that found it complete). A gap between two writes
// is then at most `later.latest - earlier.earliest`; a lower bound on that can only fail
// when the writes really were closer together. Times are in nanoseconds.
class FrameStamps
{
public:
    struct Frame
    {
        QByteArray bytes;
        qint64 earliest = 0;
        qint64 latest = 0;
    };

    explicit FrameStamps(PtyPair &pty) : m_pty(pty)
    {
        m_clock.start();
        m_poll.setTimerType(Qt::PreciseTimer);
        m_poll.setInterval(1);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { take(); });
        m_poll.start();
    }

    // Called by each complete frame as soon as it is seen: a modem reply, for instance.
    void setOnFrame(std::function<void(const Frame &)> onFrame) { m_onFrame = std::move(onFrame); }

    // The code under test is about to start: nothing it writes can be older than now.
    void mark()
    {
        take();
        if (m_pending.isEmpty())
            m_lastMiss = m_clock.nsecsElapsed();
    }

    // One look at the master; the poll calls it, and tests call it after a handler returns.
    void take()
    {
        const qint64 before = m_clock.nsecsElapsed();
        m_pending += m_pty.readAvailable();
        const qint64 after = m_clock.nsecsElapsed();
        for (qsizetype end = m_pending.indexOf("\r\n"); end >= 0; end = m_pending.indexOf("\r\n")) {
            m_frames.append({ m_pending.left(end + 2), m_lastMiss, after });
            m_pending.remove(0, end + 2);
            if (m_onFrame)
                m_onFrame(m_frames.constLast());
        }
        if (m_pending.isEmpty())
            m_lastMiss = before;
    }

    [[nodiscard]] bool waitForCount(qsizetype count, int timeoutMs = 2000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_frames.size() < count && !deadline.hasExpired())
            QTest::qWait(1);
        take();
        return m_frames.size() >= count;
    }

    [[nodiscard]] const QList<Frame> &frames() const { return m_frames; }
    [[nodiscard]] QByteArrayList bytes() const
    {
        QByteArrayList result;
        for (const Frame &frame : m_frames)
            result.append(frame.bytes);
        return result;
    }
    // Bytes that came without their CR LF yet.
    [[nodiscard]] QByteArray pending() const { return m_pending; }
    [[nodiscard]] qint64 now() const { return m_clock.nsecsElapsed(); }

private:
    PtyPair &m_pty;
    QElapsedTimer m_clock;
    QTimer m_poll;
    QList<Frame> m_frames;
    QByteArray m_pending;
    qint64 m_lastMiss = 0;
    std::function<void(const Frame &)> m_onFrame;
};
