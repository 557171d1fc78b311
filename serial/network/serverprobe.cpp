// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/serverprobe.h"

#include "platform/eventwait.h"
#include "serial/network/tcpstream.h"

namespace ServerProbe {

Answer probe(const NetworkAddress &address, int timeoutMs)
{
    TcpStream socket;
    socket.connectToHost(address.host, address.port);
    const bool settled = EventWait::until(QDeadlineTimer(timeoutMs, Qt::PreciseTimer), [&socket] {
        return socket.state() == TcpStream::State::Connected
                || socket.state() == TcpStream::State::Unconnected;
    });
    const TcpStream::State state = socket.state();
    const TcpStream::Error error = socket.error();
    socket.abort();
    if (!settled)
        return Answer::NoAnswer;
    if (state == TcpStream::State::Connected)
        return Answer::Answers;
    switch (error) {
    case TcpStream::Error::Refused:
        return Answer::Refused;
    case TcpStream::Error::HostNotFound:
        return Answer::UnknownHost;
    default:
        return Answer::Failed;
    }
}

QString describe(Answer answer)
{
    switch (answer) {
    case Answer::Answers:
        return QStringLiteral("answers");
    case Answer::Refused:
        return QStringLiteral("refused");
    case Answer::UnknownHost:
        return QStringLiteral("unknown host");
    case Answer::NoAnswer:
        return QStringLiteral("no answer");
    case Answer::Failed:
        break;
    }
    return QStringLiteral("unreachable");
}

} // namespace ServerProbe
