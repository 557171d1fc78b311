// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linesplitter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <utility>

// Which question a line from the modem answers. The modem answers every frame with one line,
// in the order the frames went out, so the n-th line that ends answers the n-th frame, however
// late it comes: a reply that arrives after its question's time ran out is that question's,
// marked late, and never passes for the answer to the question asked next. A line that no
// frame is owed (a modem talking unasked, a flood) makes every answer doubtful, and says so.
class Replies
{
public:
    struct Reply
    {
        QByteArray text; // as received, without its line end, at most a line's length
        bool ended = false; // the line has ended
        bool late = false; // it ended after its question's time had run out
    };

    // The frame `command` went out, which the modem answers with one line: its question's number.
    int expect(const QString &command);
    // Bytes as they came from the line.
    void feed(QByteArrayView bytes);
    // The question's time ran out: a line that ends for it from now on is late.
    void giveUp(int question);
    // The port closed: the modem owes nothing that it can still send on this line.
    void restart();

    [[nodiscard]] bool answered(int question) const { return reply(question).ended; }
    // Its line may still come: it has not, and the port it was owed on is still open.
    [[nodiscard]] bool owed(int question) const;
    // The reply so far; a question whose line has not ended holds what has come of it, if
    // its line is the one being received.
    [[nodiscard]] Reply reply(int question) const;
    // The lines that came when no frame was owed one, as received.
    [[nodiscard]] const QList<QByteArray> &unasked() const { return m_unasked; }
    // The replies that ended after their question's time had run out, with their commands.
    [[nodiscard]] QList<std::pair<QString, Reply>> lateReplies() const;
    // Late replies or unasked lines: no answer of this line can be taken on trust.
    [[nodiscard]] bool doubtful() const;

private:
    struct Question
    {
        QString command;
        Reply reply;
        bool givenUp = false;
        bool owed = true; // false once answered, or the line it was owed on closed
    };

    // The first question still owed a line: the one the line being received answers.
    [[nodiscard]] qsizetype current() const;

    LineSplitter m_lines;
    QList<Question> m_questions;
    QList<QByteArray> m_unasked;
};
