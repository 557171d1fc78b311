// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayList>
#include <QDateTime>
#include <QFile>
#include <QMap>

// A session transcript read back as a test checks it: the header's fields, then the events
// with their times in milliseconds since the epoch.
struct TranscriptFile
{
    struct Event
    {
        qint64 atMsecs = 0;
        QByteArray name;
        QByteArray text; // as written, escapes and all
    };

    QMap<QByteArray, QByteArray> header;
    QList<Event> events;
    // Every line ended in LF and had a time, an event name and nothing unreadable.
    bool wellFormed = true;

    explicit TranscriptFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            wellFormed = false;
            return;
        }
        const QByteArray contents = file.readAll();
        wellFormed = contents.endsWith('\n');
        for (const QByteArray &line : contents.split('\n')) {
            if (line.isEmpty())
                continue;
            if (line.startsWith("# ")) {
                const qsizetype colon = line.indexOf(": ");
                if (colon > 0)
                    header.insert(line.mid(2, colon - 2), line.mid(colon + 2));
                continue;
            }
            // "2026-12-09 14:03:27.415 sent QM&FR?\r\n"
            const QDateTime at = QDateTime::fromString(QString::fromLatin1(line.left(23)),
                                                       QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            const QByteArray rest = line.mid(24);
            const qsizetype blank = rest.indexOf(' ');
            if (!at.isValid() || line.at(23) != ' ' || rest.isEmpty()) {
                wellFormed = false;
                continue;
            }
            events.append({ at.toMSecsSinceEpoch(), blank < 0 ? rest : rest.left(blank),
                            blank < 0 ? QByteArray() : rest.mid(blank + 1) });
        }
    }

    // "name text" per event; the chunks of a reply joined into one "received", since where
    // the line cuts them is up to timing.
    [[nodiscard]] QByteArrayList exchange() const
    {
        QByteArrayList result;
        for (const Event &event : events) {
            const QByteArray line = event.name + ' ' + event.text;
            if (event.name == "received" && !result.isEmpty()
                && result.last().startsWith("received "))
                result.last() += event.text;
            else
                result.append(event.text.isEmpty() ? event.name : line);
        }
        return result;
    }

    [[nodiscard]] bool timesNeverDecrease() const
    {
        for (qsizetype i = 1; i < events.size(); ++i) {
            if (events[i].atMsecs < events[i - 1].atMsecs)
                return false;
        }
        return !events.isEmpty();
    }

    // The time of the first event `name` with `text` at index `from` or later; -1 when none.
    [[nodiscard]] qint64 timeOf(QByteArrayView name, QByteArrayView text, qsizetype from = 0) const
    {
        for (qsizetype i = from; i < events.size(); ++i) {
            if (events[i].name == name && events[i].text == text)
                return events[i].atMsecs;
        }
        return -1;
    }
};
