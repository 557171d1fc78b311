// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/commands.h"

#include <QRegularExpression>

namespace {

using namespace Commands;
using S = CommandShape;
using F = ValueForm;

constexpr VocabularyEntry entries[] = {
    { ModemType, S::Query, "modem type" },
    { SerialNumber, S::Query, "serial number" },
    { FirmwareRevision, S::Query, "firmware revision" },
    { RxFrequency, S::Query, "receive frequency" },
    { SetRxFrequency, S::ValueSetting, "sets the receive frequency, in MHz", F::DecimalNumber },
    { TxFrequency, S::Query, "transmit frequency" },
    { SetTxFrequency, S::ValueSetting, "sets the transmit frequency, in MHz", F::DecimalNumber },
    { RefFrequency, S::Query, "reference frequency" },
    { SetRefFrequency, S::ValueSetting, "sets the reference frequency, in MHz", F::DecimalNumber },
    { ChannelSpacing, S::Query, "channel spacing" },
    { ChannelSpacing12_5, S::Setting, "sets the channel spacing to 12.5 kHz" },
    { ChannelSpacing20, S::Setting, "sets the channel spacing to 20 kHz" },
    { ChannelSpacing25, S::Setting, "sets the channel spacing to 25 kHz" },
    { FecStatus, S::Query, "forward error correction (FEC) status" },
    { FecOn, S::Setting, "switches FEC on" },
    { FecOff, S::Setting, "switches FEC off" },
    { NoiseLevel, S::Query, "noise level" },
    { Rssi, S::Query, "received signal strength (RSSI), up to 7 s after the last reception" },
    { OutputPower, S::Query, "output power" },
    { SetOutputPower, S::ValueSetting, "sets the output power, in milliwatts", F::WholeNumber },
    { CompatibilityMode, S::Query, "compatibility mode" },
    { SetCompatibilityMode, S::ValueSetting, "sets the compatibility mode, 0 to 5",
      F::WholeNumber },
    { RepeaterMode, S::Query, "repeater mode" },
    { RepeaterOff, S::Setting, "switches the repeater off" },
    { RepeaterOn, S::Setting, "switches the repeater on" },
    { SerialParams, S::Query, "the modem's own serial parameters" },
    { SetSerialParams, S::ValueSetting, "sets the modem's own serial parameters", F::SerialFormat },
    { DisableTransmission, S::Action, "disables transmission (before changing settings)" },
    { EnableTransmission, S::Action, "enables transmission" },
    { SaveSettings, S::Action, "stores the changed settings, so they outlive a power cycle" },
    { FactoryDefaults, S::Action, "restores the factory defaults" },
};

} // namespace

std::span<const VocabularyEntry> vocabulary()
{
    return entries;
}

const char *formDescription(ValueForm form)
{
    switch (form) {
    case ValueForm::DecimalNumber:
        return "a decimal number such as 430.32500";
    case ValueForm::WholeNumber:
        return "a whole number";
    case ValueForm::SerialFormat:
        return "a rate, alone or with its format, such as 9600,8,N,1";
    case ValueForm::None:
        break;
    }
    return "nothing";
}

bool fitsForm(ValueForm form, QStringView value)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,6}(\\.[0-9]{1,6})?$"));
    static const QRegularExpression whole(QStringLiteral("^[0-9]{1,6}$"));
    static const QRegularExpression serial(
            QStringLiteral("^[0-9]{3,6}(,[5-8],[NEOMS],(1|1\\.5|2))?$"));
    switch (form) {
    case ValueForm::None:
        return value.isEmpty();
    case ValueForm::DecimalNumber:
        return decimal.match(value.toString()).hasMatch();
    case ValueForm::WholeNumber:
        return whole.match(value.toString()).hasMatch();
    case ValueForm::SerialFormat:
        return serial.match(value.toString()).hasMatch();
    }
    return false;
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
