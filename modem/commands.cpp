// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/commands.h"

#include <QRegularExpression>

namespace {

using namespace Commands;
using S = CommandShape;
using F = ValueForm;

constexpr VocabularyEntry entries[] = {
    { ModemType, S::Query },
    { SerialNumber, S::Query },
    { FirmwareRevision, S::Query },
    { RxFrequency, S::Query },
    { SetRxFrequency, S::ValueSetting, F::DecimalNumber },
    { TxFrequency, S::Query },
    { SetTxFrequency, S::ValueSetting, F::DecimalNumber },
    { RefFrequency, S::Query },
    { SetRefFrequency, S::ValueSetting, F::DecimalNumber },
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
    { SetOutputPower, S::ValueSetting, F::WholeNumber },
    { CompatibilityMode, S::Query },
    { SetCompatibilityMode, S::ValueSetting, F::WholeNumber },
    { RepeaterMode, S::Query },
    { RepeaterOff, S::Setting },
    { RepeaterOn, S::Setting },
    { SerialParams, S::Query },
    { SetSerialParams, S::ValueSetting, F::SerialFormat },
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
