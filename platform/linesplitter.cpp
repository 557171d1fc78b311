// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linesplitter.h"

#include <utility>

QList<LineSplitter::Line> LineSplitter::feed(QByteArrayView bytes)
{
    QList<Line> lines;
    for (const char byte : bytes) {
        if (byte == '\r' || byte == '\n') {
            // The LF of a CR LF pair, and blank lines, end nothing worth answering.
            if (!m_pending.isEmpty())
                lines.append({ std::exchange(m_pending, {}), std::exchange(m_overlong, false) });
        } else if (m_pending.size() < maxLineLength) {
            m_pending.append(byte);
        } else {
            m_overlong = true;
        }
    }
    return lines;
}

void LineSplitter::clear()
{
    m_pending.clear();
    m_overlong = false;
}
