// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/commands.h"

namespace {

using namespace Commands;
using S = CommandShape;

constexpr VocabularyEntry entries[] = {
    { ModemType, S::Query },
    { SerialNumber, S::Query },
    { FirmwareRevision, S::Query },
    { RxFrequency, S::Query },
    { SetRxFrequency, S::ValueSetting },
    { TxFrequency, S::Query },
    { SetTxFrequency, S::ValueSetting },
    { RefFrequency, S::Query },
    { SetRefFrequency, S::ValueSetting },
    { ChannelSpacing, S::Query },
    { ChannelSpacing12_5, S::Setting },
    { ChannelSpacing20, S::Setting },
    { ChannelSpacing25, S::Setting },
    { FecStatus, S::Query },
    { FecOn, S::Setting },
    { FecOff, S::Setting },
    { NoiseLevel, S::Query },
    { Rssi, S::Query },
    { OutputPower, S::Query },
    { SetOutputPower, S::ValueSetting },
    { CompatibilityMode, S::Query },
    { SetCompatibilityMode, S::ValueSetting },
    { RepeaterMode, S::Query },
    { RepeaterOff, S::Setting },
    { RepeaterOn, S::Setting },
    { SerialParams, S::Query },
    { SetSerialParams, S::ValueSetting },
    { DisableTransmission, S::Action },
    { EnableTransmission, S::Action },
    { SaveSettings, S::Action },
    { FactoryDefaults, S::Action },
};

} // namespace

std::span<const VocabularyEntry> vocabulary()
{
    return entries;
}

const char *compatibilityModeList()
{
    return "0 = Tavix R4X\r\n"
           "1 = PacCrest 4FSK\r\n"
           "2 = PacCrest GMSK\r\n"
           "3 = TrimTalk GMSK, Rx fits PacCrest modems\r\n"
           "4 = TrimTalk GMSK, Rx fits Trimble modems\r\n"
           "5 = PacCrest-FST";
}
