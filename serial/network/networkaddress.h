// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// A serial line reached over the network, written where a device path would stand:
//
//   rfc2217://HOST:PORT   a telnet server with the Com Port Control option (RFC 2217), such as
//                         ser2net's "telnet(rfc2217)" accepter: bytes, and the line's settings
//   tcp://HOST:PORT       a raw TCP port: bytes as they are, the line set at the server
//
// HOST is a name, an IPv4 address, or an IPv6 address in brackets ("[fe80::1%eth0]").
struct NetworkAddress
{
    enum class Protocol { Rfc2217, RawTcp };

    Protocol protocol = Protocol::Rfc2217;
    QString host;
    quint16 port = 0;

    // The address as the user writes it, scheme in lower case, IPv6 in brackets.
    [[nodiscard]] QString text() const;
};

struct NetworkAddressParse
{
    std::optional<NetworkAddress> address;
    // Why the text is no address, in a sentence that quotes it; empty when it is one.
    QString error;
};

// Whether `device` is meant as a network address at all: it starts with a scheme and "://".
// A path such as /dev/ttyUSB0 is not; "udp://gw:2000" is, and parsing it says why it fails.
[[nodiscard]] bool isNetworkAddress(QStringView device);

[[nodiscard]] NetworkAddressParse parseNetworkAddress(QStringView text);
