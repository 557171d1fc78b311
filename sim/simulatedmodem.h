// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linesplitter.h"
#include "sim/modemstate.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <optional>

// A modem at the far end of a pseudo-terminal: the utility opens slavePath() as if it were the
// serial port the modem is plugged into. Everything runs from the owning thread's event loop.
class SimulatedModem : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedModem(QObject *parent = nullptr);
    ~SimulatedModem() override;

    [[nodiscard]] bool start(QString *error = nullptr);
    [[nodiscard]] QString slavePath() const { return m_slavePath; }

    void setReplyDelay(int ms) { m_replyDelay = ms; }
    [[nodiscard]] int replyDelay() const { return m_replyDelay; }

    // A modem whose replies are switched off: it still takes in and carries out every
    // command, but nothing comes back, as with a broken transmit wire.
    void setSilent(bool silent) { m_silent = silent; }

    // Each reply trickles out a byte at a time, `msecs` apart (0: at once), as from a modem
    // whose line is far slower than its rate.
    void setDrip(int msecs) { m_drip = msecs; }
    // A line nobody asked for ("RX -80 dBm") every `msecs` (0: never), as from a modem set to
    // report on its own; many of them make a flood.
    void setFlood(int msecs);

    // Replies wait, on top of the reply delay, for the time the command and the reply take
    // on a real line at the modem's rate (ten bits a byte); a pseudo-terminal takes none.
    void setLinePaced(bool paced) { m_linePaced = paced; }
    // That time for `bytes` bytes at the present rate.
    [[nodiscard]] std::chrono::nanoseconds lineTime(qsizetype bytes) const;

    // Also becomes the configured and saved rate, as if the modem had been set up that way long
    // ago. False, and no change, for a speed its UART cannot run at.
    [[nodiscard]] bool setSerialRate(int baud);
    [[nodiscard]] int serialRate() const { return m_serialRate; }

    // Each unit its own, so that a rehearsal with many can tell them apart.
    void setSerialNumber(const QByteArray &serialNumber) { m_state.serialNumber = serialNumber; }
    // Commands that begin with `text` ("QM@P=") are answered ERROR and change nothing, as a
    // modem answers a value it cannot take; empty: none.
    void setRefused(const QByteArray &text) { m_refused = text; }
    // Commands that begin with `text` are answered OK and change nothing, as a modem whose
    // firmware takes a value it cannot keep.
    void setIgnored(const QByteArray &text) { m_ignored = text; }

    // Pins the received signal strength; std::nullopt lets it drift again.
    void setSignalLevel(std::optional<int> dBm) { m_state.signal.pin(dBm); }

    [[nodiscard]] const ModemSettings &current() const { return m_state.current; }
    [[nodiscard]] const ModemSettings &saved() const { return m_state.saved; }

    // Loses whatever was in flight and comes back up with the saved settings, the line included.
    void powerCycle();

signals:
    void frameReceived(const QByteArray &commandText);
    void replySent(const QByteArray &bytes);
    // Bytes came in at hostRate (0: a speed the modem does not know) instead of serialRate().
    void lineMismatched(int hostRate);
    void settingsSaved();
    void factoryReset();
    void serialRateChanged(int baud);

private:
    struct PendingReply
    {
        QByteArray bytes;
        QDeadlineTimer due;
        int nextRate = 0; // the line moves here once the reply is out; 0 keeps it
        qsizetype dripped = 0; // bytes already out, when they trickle
    };

    void readHost();
    void answer(const LineSplitter::Line &line);
    void queueReply(const QByteArray &bytes, int nextRate = 0, qsizetype commandBytes = 0);
    void sendDueReplies();
    void moveLineTo(int baud);
    [[nodiscard]] int hostRate() const;

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier m_hostNotifier{ QSocketNotifier::Read };
    QTimer m_replyTimer;
    QTimer m_floodTimer;
    std::deque<PendingReply> m_pending;
    LineSplitter m_splitter;
    ModemState m_state;
    int m_replyDelay = 5;
    int m_drip = 0;
    QByteArray m_refused;
    QByteArray m_ignored;
    bool m_silent = false;
    bool m_linePaced = false;
    int m_serialRate = 19200;
};
