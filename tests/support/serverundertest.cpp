// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/serverundertest.h"

QString ServerUnderTest::start(Kind kind, const QString &device, const QString &line)
{
    switch (kind) {
    case Kind::Refused:
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(freeLoopbackPort());
    case Kind::UnknownHost:
        return QStringLiteral("rfc2217://no-such-modem.invalid:2000");
    case Kind::Silent:
        if (!m_silent.listen(QHostAddress::LocalHost)) {
            m_error = m_silent.errorString();
            return {};
        }
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_silent.serverPort());
    case Kind::Readme:
        m_error = QStringLiteral("the README's server is the suite's own to start");
        return {};
    default:
        break;
    }
    if (!ser2net.start(device, line)) {
        m_error = ser2net.error();
        return {};
    }
    if (kind == Kind::Held) {
        // Another client has the port: ser2net greets it with its telnet options.
        m_holder.connectToHost(QHostAddress::LocalHost, ser2net.port(Ser2net::Accepter::Rfc2217));
        if (!m_holder.waitForConnected(2000) || !m_holder.waitForReadyRead(2000)) {
            m_error = QStringLiteral("the first client was not let in: ") + m_holder.errorString();
            return {};
        }
    }
    return ser2net.address(kind == Kind::Raw                   ? Ser2net::Accepter::Raw
                                   : kind == Kind::PlainTelnet ? Ser2net::Accepter::Telnet
                                                               : Ser2net::Accepter::Rfc2217);
}
