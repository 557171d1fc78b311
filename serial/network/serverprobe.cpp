// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/serverprobe.h"

#include "platform/eventwait.h"

#include <QTcpSocket>

namespace ServerProbe {

Answer probe(const NetworkAddress &address, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(address.host, address.port);
    const bool settled = EventWait::until(QDeadlineTimer(timeoutMs, Qt::PreciseTimer), [&socket] {
        return socket.state() == QAbstractSocket::ConnectedState
                || socket.state() == QAbstractSocket::UnconnectedState;
    });
    const QAbstractSocket::SocketState state = socket.state();
    const QAbstractSocket::SocketError error = socket.error();
    socket.abort();
    if (!settled)
        return Answer::NoAnswer;
    if (state == QAbstractSocket::ConnectedState)
        return Answer::Answers;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return Answer::Refused;
    case QAbstractSocket::HostNotFoundError:
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
