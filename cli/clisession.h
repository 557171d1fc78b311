// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/modemport.h"
#include "platform/task.h"
#include "serial/mscomm.h"
#include "session/replies.h"
#include "session/transcript.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <coroutine>

// The port of one modem in a command-line run: opened the way "Open port" opens it (the COM
// map, the locking, the fixed message texts), with the run's transcript when one was asked
// for. A port failure is said on stderr, message and detail, the first time only. Every frame
// sent is a question the modem answers with one line (Replies says which line answers which);
// the run awaits the answers as coroutines, so several sessions go on side by side.
class CliSession : public QObject, public ModemPort
{
    Q_OBJECT

public:
    // `frontEnd` names the run in the transcript's header; an empty `transcriptPath` keeps
    // none.
    CliSession(const QString &frontEnd, const QString &portText, const QString &baudText,
               const QString &transcriptPath);
    ~CliSession() override;

    CommStatus sendFrame(const QString &command) override;
    // Opens at the rate of the last serial-parameter change that named one of the six rates
    // (see followRate()), otherwise at the rate the run started with.
    CommStatus openPort() override;
    // What is still on its way to the modem goes first; the modem then owes nothing more.
    void closePort() override;
    Pause wait(int msecs) override { return Pause::onEventLoop(msecs, this); }

    // The reply to the last frame sent, once its line has ended, the port has failed or
    // `deadline` has passed; a reply not ended by then counts as given up (a line that ends
    // for it later is late, and stays its own).
    Task<Replies::Reply> reply(QDeadlineTimer deadline);
    // One frame and its reply: a question asked and answered, or not in `timeoutMs`.
    Task<Replies::Reply> ask(QString command, int timeoutMs);

    // The device the port was opened on, as a path or an address.
    [[nodiscard]] QString deviceName() const { return m_comm.deviceName(); }

    // A "QM%B=" value ("9600,8,N,1"): the port reopens at its rate when that is one of the
    // six, as the window's does after "Set serial params" with the rate picked in its list.
    void followRate(const QString &serialParams);
    // Moves the open port to `rate` (one of the six) on the spot, without closing it: a reopen
    // toggles DTR and RTS, which resets some devices. What came before is forgotten.
    CommStatus setRate(const QString &rate);

    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] const Replies &replies() const { return m_replies; }

    // Said on stderr and in the transcript: a reply that did not come in time, and lines
    // that make the answers doubtful.
    void reportTimeout(const QString &command, int timeoutMs, const QByteArray &partial);
    // True when there were any.
    bool reportDoubts();
    // A reply with bytes that no modem sends at the right rate (a garbled line, or bytes that
    // never made a line): said, with the rate to suspect. True when it was one.
    bool reportGarbled(const QString &command, const Replies::Reply &reply);

    // What this session says on stderr starts with `speaker` ("COM5: "), so that the modem
    // it is about is known when several run at once.
    void setSpeaker(const QString &speaker) { m_speaker = speaker; }
    void say(const QString &text) const;

private:
    struct Wake
    {
        CliSession *session;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiter) { session->m_waiter = waiter; }
        void await_resume() const noexcept { }
    };

    void onComm();
    void takeInput();
    void fail(const CommStatus &status);
    // Resumes whoever awaits a reply, from the event loop rather than from deep inside the
    // serial component's report.
    void wakeWaiter();

    MSComm m_comm;
    Transcript m_transcript;
    QString m_portText;
    QString m_baudText;
    Replies m_replies;
    int m_lastQuestion = -1;
    std::coroutine_handle<> m_waiter;
    QTimer m_deadline;
    QSet<QString> m_warned;
    bool m_failed = false;
    QString m_speaker;
};
