// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/portopening.h"

#include "serial/baudrates.h"
#include "serial/numbertext.h"
#include "platform/escaping.h"

QString messageFor(int code)
{
    switch (code) {
    case CommError::InvalidPortNumber:
        return QStringLiteral("Invalid port number.");
    case CommError::PortAlreadyOpen:
        return QStringLiteral("Port already open.");
    default:
        return QStringLiteral("Unknown error.");
    }
}

CommStatus openPortFromText(MSComm &comm, const QString &portText, const QString &baudText)
{
    // The text can be anything the user typed or the store held; a box shows only as much
    // of it as tells which, and nothing of it that could steer a terminal.
    const QString shown = escapedString(portText.left(40))
            + (portText.size() > 40 ? QString(u'\u2026') : QString());
    const QString noNumber = QStringLiteral("\"%1\" is no port number.").arg(shown);
    const std::optional<double> value = leadingNumber(portText);
    const std::optional<qint16> number = toInt16HalfEven(value.value_or(0.0));
    if (!number)
        return { CommError::Overflow, noNumber };
    // A text without digits ("COM3") reads as 0, which the component refuses as it would
    // COM0; the detail names what the user typed, not a COM0 nobody chose.
    if (!value)
        return { CommError::InvalidPortNumber, noNumber };
    if (CommStatus status = comm.setCommPort(*number); !status.ok())
        return status;
    if (const std::optional<QString> settings = portSettingsForBaudText(baudText)) {
        if (CommStatus status = comm.setSettings(*settings); !status.ok())
            return status;
    }
    comm.setInputLen(0);
    comm.setRThreshold(1);
    comm.setSThreshold(1);
    return comm.setPortOpen(true);
}
