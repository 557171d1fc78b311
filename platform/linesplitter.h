// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Cuts the incoming byte stream into command lines. A line ends at CR, LF or both; a line longer
// than the modem's buffer is cut short and marked, and the rest of it is dropped unread, so no
// amount of junk from the host grows memory.
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
    void clear();

private:
    QByteArray m_pending;
    bool m_overlong = false;
};
