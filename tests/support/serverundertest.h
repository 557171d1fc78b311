// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/ser2net.h"

#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// The far end of a network port as each case of a suite needs it: ser2net in front of a
// device in one of its modes, with the port held by another client or not, or no server
// that works: a port nothing listens on, a name that does not resolve, a server that takes
// a connection and never speaks.
class ServerUnderTest
{
public:
    // Killed is ser2net as for Rfc2217: the suite kills it when its moment comes.
    enum class Kind {
        Rfc2217,
        Readme,
        Raw,
        Refused,
        UnknownHost,
        PlainTelnet,
        Silent,
        Held,
        Killed
    };

    // Sets up `kind` in front of `device` (ser2net's line at `line`) and returns the address
    // to open; an empty one, with the reason in error(), when it could not. Readme is the
    // suite's own to set up with ser2net.startWith().
    [[nodiscard]] QString start(Kind kind, const QString &device, const QString &line);
    [[nodiscard]] QString error() const { return m_error; }

    Ser2net ser2net;

private:
    QTcpServer m_silent;
    QTcpSocket m_holder;
    QString m_error;
};
