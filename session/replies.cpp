// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/replies.h"

#include <algorithm>

int Replies::expect(const QString &command)
{
    m_questions.append(Question{ command, {} });
    return int(m_questions.size() - 1);
}

void Replies::feed(QByteArrayView bytes)
{
    for (const LineSplitter::Line &line : m_lines.feed(bytes)) {
        const qsizetype index = current();
        if (index < 0) {
            // Kept bounded: a flood must not grow memory.
            if (m_unasked.size() < 16)
                m_unasked.append(line.text);
            continue;
        }
        Question &question = m_questions[index];
        question.owed = false;
        question.reply = { line.text, true, question.givenUp };
    }
}

void Replies::giveUp(int question)
{
    if (question >= 0 && question < m_questions.size())
        m_questions[question].givenUp = true;
}

void Replies::restart()
{
    for (Question &question : m_questions)
        question.owed = false;
    m_lines.clear();
}

Replies::Reply Replies::reply(int question) const
{
    if (question < 0 || question >= m_questions.size())
        return {};
    Reply reply = m_questions[question].reply;
    if (!reply.ended && current() == question)
        reply.text = m_lines.pending();
    return reply;
}

bool Replies::owed(int question) const
{
    return question >= 0 && question < m_questions.size() && m_questions[question].owed;
}

QList<std::pair<QString, Replies::Reply>> Replies::lateReplies() const
{
    QList<std::pair<QString, Reply>> late;
    for (const Question &question : m_questions) {
        if (question.reply.late)
            late.append({ question.command, question.reply });
    }
    return late;
}

bool Replies::doubtful() const
{
    return !m_unasked.isEmpty()
            || std::any_of(m_questions.cbegin(), m_questions.cend(),
                           [](const Question &q) { return q.reply.late; });
}

qsizetype Replies::current() const
{
    const auto it = std::find_if(m_questions.cbegin(), m_questions.cend(),
                                 [](const Question &q) { return q.owed; });
    return it == m_questions.cend() ? -1 : it - m_questions.cbegin();
}
