// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// One TCP connection on the event loop, on Qt Core and the system's sockets alone. Qt Network
// would do it too, but its library and the Kerberos and proxy libraries it brings cost every
// start of the window a megabyte, for ports that most users never open.
//
// Nothing is kept on the way in: bytesAvailable() and read() are the system's own queue, so
// what a server said before it reset the connection can still be read while errorOccurred()
// is being handled. A reader that leaves data unread is not told of more until it reads.
class TcpStream : public QObject
{
    Q_OBJECT

public:
    enum class State { Unconnected, LookingUp, Connecting, Connected };
    enum class Error { None, HostNotFound, Refused, RemoteClosed, Other };

    explicit TcpStream(QObject *parent = nullptr);
    ~TcpStream() override;

    // Looks the host up (a name on a thread of its own, so the event loop goes on), then
    // tries its addresses in turn. state() follows; a failure ends Unconnected, with error()
    // set and errorOccurred() emitted.
    void connectToHost(const QString &host, quint16 port);
    // Closes at once; whatever the system has taken to send still leaves.
    void abort();

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] Error error() const { return m_error; }
    [[nodiscard]] QString errorString() const { return m_errorString; }

    [[nodiscard]] qint64 bytesAvailable() const;
    [[nodiscard]] QByteArray read(qint64 maxSize);

    // Queues `bytes` and hands the system all it takes now; the rest leaves as it can. A
    // failure is reported from within, by errorOccurred().
    void write(QByteArrayView bytes);
    [[nodiscard]] qint64 bytesToWrite() const { return m_output.size(); }

signals:
    void readyRead();
    void bytesWritten();
    // Emitted while the socket is still there; the stream closes when its handlers return.
    void errorOccurred(TcpStream::Error error);

private:
    struct Lookup;

    void lookedUp(const std::shared_ptr<Lookup> &lookup);
    void connectNext();
    void onWritable();
    void onReadable();
    void sendQueued();
    void acknowledgeAtOnce();
    void fail(Error error, int systemError);
    void closeSocket();

    State m_state = State::Unconnected;
    Error m_error = Error::None;
    QString m_errorString;
    int m_fd = -1;
    std::shared_ptr<Lookup> m_lookup;
    // Children, let go by deleteLater(): a handler of their own signal may close the stream.
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QSocketNotifier *m_lookupNotifier = nullptr;
    QByteArray m_output;
    bool m_failing = false;
    bool m_announcingWrite = false;
};
