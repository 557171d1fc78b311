// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/modemport.h"
#include "serial/mscomm.h"
#include "serial/transcript.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// One line on stderr, after the program's name, as every message of the command line.
void sayOnStderr(const QString &text);

// The port of one command-line run: opened the way "Open port" opens it (the COM map, the
// locking, the fixed message texts), with the run's transcript when one was asked for. A
// port failure is said on stderr, message and detail, the first time only; the run then
// ends with exit status 1.
class CliSession : public QObject, public ModemPort
{
    Q_OBJECT

public:
    // `frontEnd` names the run in the transcript's header; an empty `transcriptPath` keeps
    // none.
    CliSession(const QString &frontEnd, const QString &portText, const QString &baudText,
               const QString &transcriptPath);
    ~CliSession() override;

    // Drops whatever came in unasked, so it cannot pass for this command's reply, then
    // writes the frame.
    CommStatus sendFrame(const QString &command) override;
    // Opens at the rate of the last serial-parameter change that named one of the six rates
    // (see followRate()), otherwise at the rate the run started with.
    CommStatus openPort() override;
    void closePort() override;
    void wait(int msecs) override;

    // The next reply line as received, without its CR and LF; blank lines are passed over.
    // Nothing when none is complete by `deadline` or the port has failed.
    [[nodiscard]] std::optional<QByteArray> reply(const QDeadlineTimer &deadline);

    // A "QM%B=" value ("9600,8,N,1"): the port reopens at its rate when that is one of the
    // six, as the window's does after "Set serial params" with the rate picked in its list.
    void followRate(const QString &serialParams);

    [[nodiscard]] bool failed() const { return m_failed; }

    // A reply that did not come, said on stderr and in the transcript.
    void reportTimeout(const QString &command, int timeoutMs);

private:
    void onComm();
    void takeInput();
    void fail(const CommStatus &status);
    void runUntil(const QDeadlineTimer &deadline, const std::function<bool()> &done);
    [[nodiscard]] std::optional<QByteArray> takeLine();

    MSComm m_comm;
    Transcript m_transcript;
    QString m_portText;
    QString m_baudText;
    QByteArray m_received;
    QSet<QString> m_warned;
    bool m_failed = false;
};
