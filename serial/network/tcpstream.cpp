// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/tcpstream.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

struct TcpStream::Lookup
{
    struct Address
    {
        sockaddr_storage storage{};
        socklen_t length = 0;
        int family = AF_UNSPEC;
    };

    QByteArray host;
    QByteArray service;
    std::vector<Address> addresses;
    size_t next = 0;
    int lastError = 0;
    // Some address refused: the answer that matters, whatever another address failed with
    // (a name may lead to ::1 on a machine without IPv6 as well as to 127.0.0.1).
    bool refused = false;
    // Written once the lookup on its thread is done, watched on the event loop: a thread
    // that outlives its stream, or the application, has nobody else to tell.
    int done = -1;

    ~Lookup()
    {
        if (done >= 0)
            ::close(done);
    }

    void failed(int error)
    {
        lastError = error;
        refused = refused || error == ECONNREFUSED;
    }

    void resolve(bool numericOnly)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        // No AI_ADDRCONFIG: on a machine with loopback alone it would hide 127.0.0.1, and a
        // family the machine lacks only fails its connect, and the next address is tried.
        hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
        addrinfo *found = nullptr;
        if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0)
            return;
        for (const addrinfo *a = found; a; a = a->ai_next) {
            if (a->ai_addrlen > sizeof(sockaddr_storage))
                continue;
            Address address;
            std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
            address.length = a->ai_addrlen;
            address.family = a->ai_family;
            addresses.push_back(address);
        }
        ::freeaddrinfo(found);
    }
};

TcpStream::TcpStream(QObject *parent) : QObject(parent) { }

TcpStream::~TcpStream()
{
    closeSocket();
}

void TcpStream::connectToHost(const QString &host, quint16 port)
{
    abort();
    m_error = Error::None;
    m_errorString.clear();
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host.toUtf8();
    lookup->service = QByteArray::number(port);
    m_lookup = lookup;
    // An address written as numbers needs nobody to ask.
    lookup->resolve(true);
    if (!lookup->addresses.empty()) {
        lookedUp(lookup);
        return;
    }
    lookup->done = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (lookup->done < 0) {
        fail(Error::Other, errno);
        return;
    }
    m_state = State::LookingUp;
    m_lookupNotifier = new QSocketNotifier(lookup->done, QSocketNotifier::Read, this);
    connect(m_lookupNotifier, &QSocketNotifier::activated, this, [this] {
        m_lookupNotifier->setEnabled(false);
        m_lookupNotifier->deleteLater();
        m_lookupNotifier = nullptr;
        lookedUp(m_lookup);
    });
    std::thread([lookup] {
        lookup->resolve(false);
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(lookup->done, &one, sizeof one);
    }).detach();
}

void TcpStream::lookedUp(const std::shared_ptr<Lookup> &lookup)
{
    if (lookup->addresses.empty()) {
        m_lookup.reset();
        fail(Error::HostNotFound, 0);
        return;
    }
    connectNext();
}

void TcpStream::connectNext()
{
    closeSocket();
    Lookup &lookup = *m_lookup;
    while (lookup.next < lookup.addresses.size()) {
        const Lookup::Address &address = lookup.addresses[lookup.next++];
        const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lookup.failed(errno);
            continue;
        }
        // A frame leaves in one segment the moment it is written, as it would on a wire.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.storage), address.length) != 0
            && errno != EINPROGRESS) {
            lookup.failed(errno);
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_state = State::Connecting;
        m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &TcpStream::onWritable);
        return;
    }
    const int error = lookup.refused ? ECONNREFUSED : lookup.lastError;
    m_lookup.reset();
    fail(error == ECONNREFUSED ? Error::Refused : Error::Other, error);
}

void TcpStream::onWritable()
{
    if (m_state == State::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error != 0) {
            m_lookup->failed(error);
            connectNext();
            return;
        }
        m_lookup.reset();
        m_state = State::Connected;
        acknowledgeAtOnce();
        m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, &TcpStream::onReadable);
    }
    sendQueued();
}

void TcpStream::onReadable()
{
    if (bytesAvailable() == 0) {
        // Readable with nothing to read: the server has closed, or the connection failed.
        char byte;
        const ssize_t got = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got == 0)
            fail(Error::RemoteClosed, 0);
        else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            fail(errno == ECONNRESET ? Error::RemoteClosed : Error::Other, errno);
        return;
    }
    // Quiet until the reader reads: the system's queue holds the rest, and TCP holds the
    // server back when that is full.
    m_readNotifier->setEnabled(false);
    emit readyRead();
}

qint64 TcpStream::bytesAvailable() const
{
    int count = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

QByteArray TcpStream::read(qint64 maxSize)
{
    if (m_state != State::Connected || maxSize <= 0)
        return {};
    QByteArray bytes(qsizetype(maxSize), Qt::Uninitialized);
    ssize_t got;
    do {
        got = ::recv(m_fd, bytes.data(), size_t(maxSize), MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    bytes.resize(got > 0 ? qsizetype(got) : 0);
    acknowledgeAtOnce();
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
    return bytes;
}

void TcpStream::acknowledgeAtOnce()
{
    // A server that sends its answers as separate small segments with Nagle's algorithm on
    // (ser2net does, unless its accepter says tcp(nodelay)) holds each one back until the one
    // before is acknowledged, and Linux delays an acknowledgement by 40 ms: the four
    // confirmations of an RFC 2217 open took 40 ms on loopback. Linux leaves quick-ack mode
    // on its own, so it is asked for again after every read.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

void TcpStream::write(QByteArrayView bytes)
{
    if (m_failing || (m_state != State::Connected && m_state != State::Connecting))
        return;
    m_output.append(bytes);
    if (m_state == State::Connected)
        sendQueued();
}

void TcpStream::sendQueued()
{
    qsizetype sent = 0;
    while (sent < m_output.size()) {
        const ssize_t n = ::send(m_fd, m_output.constData() + sent, size_t(m_output.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        m_output.clear();
        fail(errno == EPIPE || errno == ECONNRESET ? Error::RemoteClosed : Error::Other, errno);
        return;
    }
    m_output.remove(0, sent);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_output.isEmpty());
    // A reader of bytesWritten() may write again; it hears of that write from this loop.
    if (sent > 0 && !m_announcingWrite) {
        m_announcingWrite = true;
        const QPointer<TcpStream> self(this);
        emit bytesWritten();
        if (self)
            m_announcingWrite = false;
    }
}

void TcpStream::fail(Error error, int systemError)
{
    if (m_failing)
        return;
    m_error = error;
    switch (error) {
    case Error::HostNotFound:
        m_errorString = QStringLiteral("Host not found");
        break;
    case Error::RemoteClosed:
        m_errorString = QStringLiteral("The remote host closed the connection");
        break;
    default:
        m_errorString = QString::fromLocal8Bit(std::strerror(systemError));
        break;
    }
    const QPointer<TcpStream> self(this);
    m_failing = true;
    emit errorOccurred(error);
    if (!self)
        return;
    m_failing = false;
    abort();
}

void TcpStream::abort()
{
    m_lookup.reset();
    closeSocket();
    m_output.clear();
    m_state = State::Unconnected;
}

void TcpStream::closeSocket()
{
    for (QSocketNotifier **notifier : { &m_readNotifier, &m_writeNotifier, &m_lookupNotifier }) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}
