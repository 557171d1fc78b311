// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

class MSComm;

// A plain-text record of one session, appended to a file while it happens: a header, then
// one line per event with its local time to the millisecond:
//
//   2026-12-09 14:03:27.415 sent QM&FR?\r\n
//
// Each line reaches the file in one write() the moment its event happens, so a crash loses
// nothing already seen. The file is opened without blocking, so a pipe or terminal that
// nobody reads cannot stall the session. The first failure to write is said once on stderr
// and ends the record; the session goes on without it.
class Transcript : public QObject
{
    Q_OBJECT

public:
    explicit Transcript(QObject *parent = nullptr);
    ~Transcript() override;
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;

    // Opens `path` for appending and writes the header: the date, this program's version,
    // which front end runs (`frontEnd`), and the port as opening `portText` at `baudText`
    // would find it now (the line settings `comm` holds when the rate is none of the six).
    void start(const QString &path, const QString &frontEnd, const QString &portText,
               const QString &baudText, const MSComm &comm);

    // Records the port's traffic, its opens and closes, the loss of its device and what its
    // line warned of.
    void attach(const MSComm &comm);

    // One event of the front end's own: a message shown ("error", "information",
    // "question"), a reply that did not come ("timeout"). `detail` goes under the text, as
    // a message box shows it.
    void record(QByteArrayView event, const QString &text, const QString &detail = {});

private:
    void write(qint64 atMsecs, QByteArrayView event, QByteArrayView text);
    void writeLine(const QByteArray &line);
    void fail(int error);

    QString m_path;
    int m_fd = -1;
};
