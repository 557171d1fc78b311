// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/sequences.h"

#include "modem/commands.h"
#include "modem/modemport.h"

namespace Sequences {

void reopen(ModemPort &port)
{
    port.wait(SettleMsecs);
    port.closePort();
    port.wait(SettleMsecs);
    port.openPort();
}

CommStatus readSerialParams(ModemPort &port)
{
    reopen(port);
    // After a failed reopen the port is closed and this frame is skipped: the failure has
    // been reported once already.
    return port.sendFrame(QString::fromLatin1(Commands::SerialParams));
}

CommStatus setSerialParams(ModemPort &port, const QString &value)
{
    const CommStatus sent = port.sendFrame(QString::fromLatin1(Commands::SetSerialParams) + value);
    reopen(port);
    return sent;
}

CommStatus saveSettings(ModemPort &port)
{
    const CommStatus sent = port.sendFrame(QString::fromLatin1(Commands::SaveSettings));
    port.wait(SettleMsecs);
    return sent;
}

bool restoreFactoryDefaults(ModemPort &port)
{
    bool sent = port.sendFrame(QString::fromLatin1(Commands::FactoryDefaults)).ok();
    port.wait(SettleMsecs);
    if (sent)
        sent = port.sendFrame(QString::fromLatin1(Commands::SaveSettings)).ok();
    port.wait(SettleMsecs);
    return sent;
}

} // namespace Sequences
