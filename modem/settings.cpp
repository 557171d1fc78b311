// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/settings.h"

#include "modem/commands.h"
#include "platform/escaping.h"

#include <QRegularExpression>

namespace {

using R = ModemSetting::Reading;

constexpr ModemSetting settings[] = {
    { "Rx frequency", Commands::RxFrequency, Commands::SetRxFrequency, R::Frequency },
    { "Tx frequency", Commands::TxFrequency, Commands::SetTxFrequency, R::Frequency },
    { "Ref frequency", Commands::RefFrequency, Commands::SetRefFrequency, R::Frequency },
    { "channel spacing", Commands::ChannelSpacing, "QM&W=", R::Spacing },
    { "FEC", Commands::FecStatus, "QM%F=", R::Switch },
    { "repeater", Commands::RepeaterMode, "QM@M=", R::Repeater },
    { "output power", Commands::OutputPower, Commands::SetOutputPower, R::Milliwatts },
    { "compatibility mode", Commands::CompatibilityMode, Commands::SetCompatibilityMode, R::Mode },
    { "serial params", Commands::SerialParams, Commands::SetSerialParams, R::SerialParams },
};

// A decimal number with nothing else but the word before it and the unit after it that the
// setting allows, in any case.
std::optional<QString> number(QStringView reply, QStringView label, QStringView unit)
{
    static const QRegularExpression shape(
            QStringLiteral("^(?:([A-Za-z]+)\\s+)?([0-9]{1,6}(?:\\.[0-9]{1,6})?)\\s*([A-Za-z]+)?$"));
    const QRegularExpressionMatch match = shape.match(reply.trimmed().toString());
    if (!match.hasMatch())
        return std::nullopt;
    const QStringView foundLabel = match.capturedView(1);
    const QStringView foundUnit = match.capturedView(3);
    if (!foundLabel.isEmpty() && foundLabel.compare(label, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (!foundUnit.isEmpty() && foundUnit.compare(unit, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return match.captured(2);
}

// The last word of the reply, after a label it may carry.
std::optional<QString> switchState(QStringView reply, QStringView label, bool repeater)
{
    QStringView word = reply.trimmed();
    if (word.startsWith(label, Qt::CaseInsensitive) && word.size() > label.size()
        && word[label.size()].isSpace())
        word = word.sliced(label.size()).trimmed();
    const auto is = [word](const char *text) {
        return word.compare(QLatin1StringView(text), Qt::CaseInsensitive) == 0;
    };
    const bool on = is("ON") || is("1") || (repeater && is("R"));
    const bool off = is("OFF") || is("0") || (repeater && is("O"));
    if (on == off)
        return std::nullopt;
    if (repeater)
        return QString(on ? u'R' : u'O');
    return QString(on ? u'1' : u'0');
}

// Exact decimal arithmetic on text, so that no rounding can make two frequencies equal.
QString canonicalNumber(QStringView text)
{
    QString digits = text.toString();
    if (digits.contains(u'.')) {
        while (digits.endsWith(u'0'))
            digits.chop(1);
        if (digits.endsWith(u'.'))
            digits.chop(1);
    }
    while (digits.size() > 1 && digits.startsWith(u'0') && digits[1] != u'.')
        digits.remove(0, 1);
    return digits;
}

} // namespace

std::span<const ModemSetting> modemSettings()
{
    return settings;
}

const ModemSetting *settingOf(QStringView commandText)
{
    for (const ModemSetting &setting : settings) {
        if (commandText.startsWith(QLatin1StringView(setting.setting)))
            return &setting;
    }
    return nullptr;
}

const ModemSetting *settingAskedBy(QStringView query)
{
    for (const ModemSetting &setting : settings) {
        if (query == QLatin1StringView(setting.query))
            return &setting;
    }
    return nullptr;
}

std::optional<QString> valueFromReply(const ModemSetting &setting, QByteArrayView reply)
{
    if (!isPrintableAscii(reply))
        return std::nullopt;
    const QString text = QString::fromLatin1(reply);
    switch (setting.reading) {
    case R::Frequency:
        return number(text, {}, u"MHz");
    case R::Spacing: {
        const std::optional<QString> kilohertz = number(text, {}, u"kHz");
        if (!kilohertz)
            return std::nullopt;
        // 12.5 kHz is set as 1250: the value times 100, which must be one the modem takes.
        const QString hundreds = QString::number(qRound(kilohertz->toDouble() * 100));
        for (const char *known : { "1250", "2000", "2500" }) {
            if (hundreds == QLatin1StringView(known)
                && sameValue(setting, *kilohertz, QString::number(hundreds.toDouble() / 100)))
                return hundreds;
        }
        return std::nullopt;
    }
    case R::Switch:
        return switchState(text, u"FEC", false);
    case R::Repeater:
        return switchState(text, u"REPEATER", true);
    case R::Milliwatts: {
        const std::optional<QString> value = number(text, {}, u"mW");
        return value && !value->contains(u'.') ? value : std::nullopt;
    }
    case R::Mode: {
        const std::optional<QString> value = number(text, u"MODE", {});
        return value && !value->contains(u'.') ? value : std::nullopt;
    }
    case R::SerialParams: {
        QString compact = text.toUpper();
        compact.remove(u' ');
        if (!fitsForm(ValueForm::SerialFormat, compact))
            return std::nullopt;
        return compact;
    }
    }
    return std::nullopt;
}

bool sameValue(const ModemSetting &setting, QStringView a, QStringView b)
{
    switch (setting.reading) {
    case R::Frequency:
    case R::Spacing:
    case R::Milliwatts:
    case R::Mode:
        return canonicalNumber(a) == canonicalNumber(b);
    case R::Switch:
    case R::Repeater:
        return a.compare(b, Qt::CaseInsensitive) == 0;
    case R::SerialParams: {
        // "9600" sets the rate and keeps the format: it matches that rate with any format.
        const QStringView rateA = a.left(a.indexOf(u',') < 0 ? a.size() : a.indexOf(u','));
        const QStringView rateB = b.left(b.indexOf(u',') < 0 ? b.size() : b.indexOf(u','));
        if (canonicalNumber(rateA) != canonicalNumber(rateB))
            return false;
        return !a.contains(u',') || !b.contains(u',') || a.compare(b, Qt::CaseInsensitive) == 0;
    }
    }
    return false;
}
