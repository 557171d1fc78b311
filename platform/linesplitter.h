// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Cuts a byte stream into lines: the host's commands at the simulated modem, the modem's
// replies at the utility. A line ends at CR, LF or both, and blank lines are none; a line
// longer than a modem's buffer is cut short and marked, and the rest of it is dropped unread,
// so no amount of junk from the other end grows memory.
class LineSplitter
{
public:
    static constexpr qsizetype maxLineLength = 256;

    struct Line
    {
        QByteArray text; // at most maxLineLength bytes, without the line end
        bool overlong = false;
    };

    [[nodiscard]] QList<Line> feed(QByteArrayView bytes);
    // What has come of a line that has not ended yet.
    [[nodiscard]] const QByteArray &pending() const { return m_pending; }
    void clear();

private:
    QByteArray m_pending;
    bool m_overlong = false;
};
