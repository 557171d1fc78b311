// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/network/networkaddress.h"

#include "platform/escaping.h"

#include <QCoreApplication>

#include <arpa/inet.h>

namespace {

// The longest name DNS can carry.
constexpr qsizetype MaxHostLength = 253;

QString tr(const char *text)
{
    return QCoreApplication::translate("NetworkLine", text);
}

bool isSchemeChar(QChar c, bool first)
{
    const char16_t u = c.unicode();
    const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    if (first)
        return letter;
    return letter || (u >= '0' && u <= '9') || u == '+' || u == '-' || u == '.';
}

bool isHostChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'
            || u == '.' || u == '_';
}

// An IPv6 address as numbers, with a zone (an interface, after "%") or without.
bool isIpv6Address(QStringView host)
{
    const qsizetype percent = host.indexOf(u'%');
    const QStringView zone = percent < 0 ? QStringView() : host.sliced(percent + 1);
    if (percent >= 0 && (zone.isEmpty() || !std::all_of(zone.begin(), zone.end(), isHostChar)))
        return false;
    in6_addr address;
    return inet_pton(AF_INET6,
                     host.first(percent < 0 ? host.size() : percent).toLatin1().constData(),
                     &address)
            == 1;
}

NetworkAddressParse refuse(QStringView text, const QString &why)
{
    return { std::nullopt,
             tr("\"%1\" is no network address: %2")
                     .arg(QString::fromLatin1(escapedExcerpt(text.toUtf8())), why) };
}

std::optional<quint16> portNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

} // namespace

QString NetworkAddress::text() const
{
    const QString scheme =
            protocol == Protocol::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, shownHost).arg(port);
}

bool isNetworkAddress(QStringView device)
{
    const QStringView text = device.trimmed();
    const qsizetype separator = text.indexOf(u"://");
    if (separator <= 0)
        return false;
    for (qsizetype i = 0; i < separator; ++i) {
        if (!isSchemeChar(text[i], i == 0))
            return false;
    }
    return true;
}

NetworkAddressParse parseNetworkAddress(QStringView input)
{
    const QStringView text = input.trimmed();
    if (!isNetworkAddress(text))
        return refuse(text, tr("it is written rfc2217://HOST:PORT or tcp://HOST:PORT."));

    const qsizetype separator = text.indexOf(u"://");
    const QString scheme = text.first(separator).toString().toLower();
    NetworkAddress address;
    if (scheme == u"rfc2217")
        address.protocol = NetworkAddress::Protocol::Rfc2217;
    else if (scheme == u"tcp")
        address.protocol = NetworkAddress::Protocol::RawTcp;
    else
        return refuse(text,
                      tr("the scheme is rfc2217:// (a telnet server with RFC 2217) or "
                         "tcp:// (a raw TCP port)."));

    const QStringView rest = text.sliced(separator + 3);
    QStringView host;
    QStringView port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return refuse(text, tr("the IPv6 address has no closing \"]\"."));
        host = rest.sliced(1, close - 1);
        const QStringView after = rest.sliced(close + 1);
        if (!after.startsWith(u':'))
            return refuse(text, tr("a port follows the host, as in rfc2217://[::1]:2000."));
        port = after.sliced(1);
        if (!isIpv6Address(host))
            return refuse(text, tr("the brackets hold no IPv6 address."));
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return refuse(text, tr("a port follows the host, as in rfc2217://HOST:2000."));
        host = rest.first(colon);
        port = rest.sliced(colon + 1);
        if (host.contains(u':'))
            return refuse(text,
                          tr("an IPv6 address goes in brackets, as in rfc2217://[::1]:2000."));
        if (host.size() > MaxHostLength)
            return refuse(text, tr("the host name is longer than 253 characters."));
        for (const QChar c : host) {
            if (!isHostChar(c))
                return refuse(text,
                              tr("a host name holds only letters, digits, \"-\", \"_\" and "
                                 "\".\"."));
        }
    }
    if (host.isEmpty())
        return refuse(text, tr("the host is missing."));
    const std::optional<quint16> number = portNumber(port);
    if (!number)
        return refuse(text, tr("the port is a number from 1 to 65535 and ends the address."));
    address.host = host.toString();
    address.port = *number;
    return { address, {} };
}
