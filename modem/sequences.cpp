// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/sequences.h"

#include "modem/commands.h"
#include "modem/modemport.h"

namespace Sequences {

Task<> reopen(ModemPort &port)
{
    co_await port.wait(SettleMsecs);
    port.closePort();
    co_await port.wait(SettleMsecs);
    port.openPort();
}

Task<CommStatus> readSerialParams(ModemPort &port)
{
    co_await reopen(port);
    // After a failed reopen the port is closed and this frame is skipped: the failure has
    // been reported once already.
    co_return port.sendFrame(QString::fromLatin1(Commands::SerialParams));
}

Task<CommStatus> setSerialParams(ModemPort &port, QString value)
{
    const CommStatus sent = port.sendFrame(QString::fromLatin1(Commands::SetSerialParams) + value);
    co_await reopen(port);
    co_return sent;
}

Task<CommStatus> saveSettings(ModemPort &port)
{
    const CommStatus sent = port.sendFrame(QString::fromLatin1(Commands::SaveSettings));
    co_await port.wait(SettleMsecs);
    co_return sent;
}

Task<bool> restoreFactoryDefaults(ModemPort &port)
{
    bool sent = port.sendFrame(QString::fromLatin1(Commands::FactoryDefaults)).ok();
    co_await port.wait(SettleMsecs);
    if (sent)
        sent = port.sendFrame(QString::fromLatin1(Commands::SaveSettings)).ok();
    co_await port.wait(SettleMsecs);
    co_return sent;
}

} // namespace Sequences
