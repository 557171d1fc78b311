#include "serial/portopening.h"

#include "serial/numbertext.h"

#include <QCoreApplication>

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
    const std::optional<qint16> number = toInt16HalfEven(leadingNumber(portText).value_or(0.0));
    if (!number) {
        // The text can be anything the user typed or the store held; a box shows only as
        // much of it as tells which.
        const QString shown = portText.size() > 40 ? portText.left(40) + u'\u2026' : portText;
        return {CommError::Overflow,
                QCoreApplication::translate("MSComm", "\"%1\" is no port number.").arg(shown)};
    }
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
