// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How far a run has got with its commands, in order: which went out, which the modem
// answered, which never went out, and the state those that reached the modem leave it in.
// A run that is cut short (a failure, a signal) says it from here.
class Progress
{
public:
    // The commands the run is to send from now on, none of them sent yet.
    void plan(QStringList commands);

    void sent(qsizetype index);
    void answered(qsizetype index);

    [[nodiscard]] const QStringList &commands() const { return m_commands; }
    [[nodiscard]] qsizetype answeredCount() const;
    // "2 of 6 answered; sent without a reply: QM&FT=433.05; never sent: QM@P=500, QM++O".
    [[nodiscard]] QString soFar() const;
    // What the commands that went out leave the modem with: "transmission off", "changes
    // unsaved", or both joined by "and"; empty when neither.
    [[nodiscard]] QString leftBehind() const;
    // soFar() and leftBehind() as one line.
    [[nodiscard]] QString summary() const;

private:
    enum class State { NotSent, Sent, Answered };

    QStringList m_commands;
    QList<State> m_states;
};

// "SIGINT", "SIGTERM", ...; the number for one without a name here.
[[nodiscard]] QString signalName(int signalNumber);
