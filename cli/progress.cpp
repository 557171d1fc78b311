// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress.h"

#include "modem/commands.h"

#include <csignal>

void Progress::plan(QStringList commands)
{
    m_commands = std::move(commands);
    m_states = QList<State>(m_commands.size(), State::NotSent);
}

void Progress::sent(qsizetype index)
{
    m_states[index] = State::Sent;
}

void Progress::answered(qsizetype index)
{
    m_states[index] = State::Answered;
}

qsizetype Progress::answeredCount() const
{
    return m_states.count(State::Answered);
}

QString Progress::soFar() const
{
    QStringList unanswered;
    QStringList unsent;
    for (qsizetype i = 0; i < m_commands.size(); ++i) {
        if (m_states[i] == State::Sent)
            unanswered.append(m_commands[i]);
        else if (m_states[i] == State::NotSent)
            unsent.append(m_commands[i]);
    }
    QString text = QStringLiteral("%1 of %2 answered").arg(answeredCount()).arg(m_commands.size());
    if (!unanswered.isEmpty())
        text += QStringLiteral("; sent without a reply: ") + unanswered.join(QStringLiteral(", "));
    if (!unsent.isEmpty())
        text += QStringLiteral("; never sent: ") + unsent.join(QStringLiteral(", "));
    return text;
}

QString Progress::leftBehind() const
{
    bool transmitting = true;
    bool unsaved = false;
    for (qsizetype i = 0; i < m_commands.size(); ++i) {
        if (m_states[i] == State::NotSent)
            continue;
        const QString &command = m_commands[i];
        if (command == QLatin1StringView(Commands::DisableTransmission))
            transmitting = false;
        else if (command == QLatin1StringView(Commands::EnableTransmission))
            transmitting = true;
        else if (command == QLatin1StringView(Commands::SaveSettings))
            unsaved = false;
        else if (command.contains(u'=') || command == QLatin1StringView(Commands::FactoryDefaults))
            unsaved = true;
    }
    QStringList state;
    if (!transmitting)
        state.append(QStringLiteral("transmission off"));
    if (unsaved)
        state.append(QStringLiteral("changes unsaved"));
    return state.join(QStringLiteral(" and "));
}

QString Progress::summary() const
{
    const QString behind = leftBehind();
    return behind.isEmpty() ? soFar()
                            : soFar() + QStringLiteral("; the modem is left with ") + behind;
}

QString signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    case SIGPIPE:
        return QStringLiteral("SIGPIPE (standard output closed)");
    }
    return QStringLiteral("signal %1").arg(signalNumber);
}
