// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandbuttons.h"

#include "modem/commands.h"

namespace {

using namespace Commands;

constexpr FixedCommandButton fixed[] = {
    { &Form1::Command3, ModemType },
    { &Form1::Command4, SerialNumber },
    { &Form1::Command5, FirmwareRevision },
    { &Form1::Command6, RepeaterMode },
    { &Form1::Command7, RxFrequency },
    { &Form1::Command8, TxFrequency },
    { &Form1::Command12, ChannelSpacing },
    { &Form1::Command13, ChannelSpacing12_5 },
    { &Form1::Command14, ChannelSpacing20 },
    { &Form1::Command15, ChannelSpacing25 },
    { &Form1::Command16, FecStatus },
    { &Form1::Command17, FecOn },
    { &Form1::Command18, FecOff },
    { &Form1::Command19, NoiseLevel },
    { &Form1::Command20, Rssi },
    { &Form1::Command22, DisableTransmission },
    { &Form1::Command23, EnableTransmission },
    { &Form1::Command24, OutputPower },
    { &Form1::Command26, CompatibilityMode },
    { &Form1::Command29, RefFrequency },
    { &Form1::Command31, RepeaterOff },
    { &Form1::Command32, RepeaterOn },
};

constexpr ValueCommandButton values[] = {
    { &Form1::Command9, &Form1::Text3, SetRxFrequency },
    { &Form1::Command10, &Form1::Text4, SetTxFrequency },
    { &Form1::Command30, &Form1::Text1, SetRefFrequency },
    { &Form1::Command25, &Form1::Text6, SetOutputPower },
    { &Form1::Command27, &Form1::Text7, SetCompatibilityMode },
};

} // namespace

std::span<const FixedCommandButton> fixedCommandButtons()
{
    return fixed;
}

std::span<const ValueCommandButton> valueCommandButtons()
{
    return values;
}
