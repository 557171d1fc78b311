// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/modemcommands.h"

#include "sim/serialline.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace {

using Effect = CommandOutcome::Effect;

constexpr QByteArrayView commandPrefix = "QM";
constexpr char okReply[] = "OK";

constexpr int highestPower = 2000; // mW; the modem type says 2 W

struct Spacing
{
    int value;
    QByteArrayView command;
    QByteArrayView reply;
};

constexpr std::array spacings = {
    Spacing{ 1250, "1250", "12.5 kHz" },
    Spacing{ 2000, "2000", "20 kHz" },
    Spacing{ 2500, "2500", "25 kHz" },
};

QRegularExpressionMatch matchWhole(QStringView pattern, QByteArrayView value)
{
    // Patterns are few and fixed; compiling them once per command costs nothing at modem pace.
    const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern));
    return whole.match(QString::fromLatin1(value));
}

QByteArray levelReply(int dBm)
{
    return QByteArray::number(dBm) + " dBm";
}

QByteArray frequencyReply(const QString &mhz)
{
    return mhz.toLatin1() + " MHz";
}

QByteArray spacingReply(int value)
{
    const auto it = std::find_if(spacings.begin(), spacings.end(),
                                 [value](const Spacing &s) { return s.value == value; });
    return it == spacings.end() ? QByteArray(errorReply) : it->reply.toByteArray();
}

// Only the UHF band (300 to 999.99999 MHz) at the modem's resolution of five decimals. Kept as
// text so the echo is exactly what was typed, padded, never a rounded double.
bool setFrequency(QString &field, QByteArrayView value)
{
    const auto match = matchWhole(u"([3-9][0-9]{2})(?:\\.([0-9]{1,5}))?", value);
    if (!match.hasMatch())
        return false;
    field = match.captured(1) + u'.' + match.captured(2).leftJustified(5, u'0');
    return true;
}

bool setSpacing(ModemSettings &settings, QByteArrayView value)
{
    const auto it = std::find_if(spacings.begin(), spacings.end(),
                                 [value](const Spacing &s) { return s.command == value; });
    if (it == spacings.end())
        return false;
    settings.channelSpacing = it->value;
    return true;
}

bool setSwitch(bool &field, QByteArrayView value, QByteArrayView on, QByteArrayView off)
{
    if (value != on && value != off)
        return false;
    field = value == on;
    return true;
}

bool setPower(ModemSettings &settings, QByteArrayView value)
{
    if (!matchWhole(u"[0-9]{1,4}", value).hasMatch())
        return false;
    const int milliwatts = value.toInt();
    if (milliwatts < 1 || milliwatts > highestPower)
        return false;
    settings.outputPower = milliwatts;
    return true;
}

bool setMode(ModemSettings &settings, QByteArrayView value)
{
    if (!matchWhole(u"[0-5]", value).hasMatch())
        return false;
    settings.compatibilityMode = value.toInt();
    return true;
}

// The rate alone keeps the present character format.
bool setSerial(ModemSettings &settings, QByteArrayView value)
{
    const auto match = matchWhole(u"([0-9]{1,6})(,[78],[NEO],[12])?", value);
    if (!match.hasMatch() || !SerialLine::isSupportedRate(match.capturedView(1).toInt()))
        return false;
    settings.serialRate = match.capturedView(1).toInt();
    if (match.hasCaptured(2))
        settings.serialFormat = match.captured(2);
    return true;
}

struct Parameter
{
    QByteArrayView code;
    QByteArray (*query)(ModemState &);
    bool (*set)(ModemSettings &, QByteArrayView value) = nullptr; // read-only without one
    Effect effectOfSet = Effect::None;
};

const std::array parameters = {
    Parameter{ "%D", [](ModemState &) { return QByteArray("UHF MODEM 2W"); } },
    Parameter{ "%S", [](ModemState &m) { return m.serialNumber; } },
    Parameter{ "%V", [](ModemState &) { return QByteArray("FW 3.1.7"); } },
    Parameter{ "&FR", [](ModemState &m) { return frequencyReply(m.current.receiveFrequency); },
               [](ModemSettings &s, QByteArrayView v) {
                   return setFrequency(s.receiveFrequency, v);
               } },
    Parameter{ "&FT", [](ModemState &m) { return frequencyReply(m.current.transmitFrequency); },
               [](ModemSettings &s, QByteArrayView v) {
                   return setFrequency(s.transmitFrequency, v);
               } },
    Parameter{ "&C", [](ModemState &m) { return frequencyReply(m.current.referenceFrequency); },
               [](ModemSettings &s, QByteArrayView v) {
                   return setFrequency(s.referenceFrequency, v);
               } },
    Parameter{ "&W", [](ModemState &m) { return spacingReply(m.current.channelSpacing); },
               setSpacing },
    Parameter{
            "%F",
            [](ModemState &m) { return QByteArray(m.current.fecEnabled ? "FEC ON" : "FEC OFF"); },
            [](ModemSettings &s, QByteArrayView v) {
                return setSwitch(s.fecEnabled, v, "1", "0");
            } },
    Parameter{ "@F", [](ModemState &m) { return levelReply(m.signal.nextNoise()); } },
    Parameter{ "@R", [](ModemState &m) { return levelReply(m.signal.nextRssi()); } },
    Parameter{ "@P",
               [](ModemState &m) { return QByteArray::number(m.current.outputPower) + " mW"; },
               setPower },
    Parameter{
            "@S",
            [](ModemState &m) { return "MODE " + QByteArray::number(m.current.compatibilityMode); },
            setMode },
    Parameter{ "@M",
               [](ModemState &m) {
                   return QByteArray(m.current.repeaterEnabled ? "REPEATER ON" : "REPEATER OFF");
               },
               [](ModemSettings &s, QByteArrayView v) {
                   return setSwitch(s.repeaterEnabled, v, "R", "O");
               } },
    Parameter{ "%B",
               [](ModemState &m) {
                   return QByteArray::number(m.current.serialRate)
                           + m.current.serialFormat.toLatin1();
               },
               setSerial, Effect::SerialRateChanged },
};

struct Action
{
    QByteArrayView code;
    void (*run)(ModemState &);
    Effect effect = Effect::None;
};

const std::array actions = {
    Action{ "+++", [](ModemState &m) { m.current.transmissionEnabled = false; } },
    Action{ "++O", [](ModemState &m) { m.current.transmissionEnabled = true; } },
    Action{ "**>", [](ModemState &m) { m.save(); }, Effect::Saved },
    Action{ "*R>", [](ModemState &m) { m.restoreFactoryDefaults(); }, Effect::FactoryReset },
};

const Parameter *findParameter(QByteArrayView code)
{
    const auto it = std::find_if(parameters.begin(), parameters.end(),
                                 [code](const Parameter &p) { return p.code == code; });
    return it == parameters.end() ? nullptr : &*it;
}

CommandOutcome rejected()
{
    return { errorReply };
}

} // namespace

CommandOutcome executeCommand(QByteArrayView line, ModemState &state)
{
    if (!line.startsWith(commandPrefix))
        return rejected();
    const QByteArrayView body = line.sliced(commandPrefix.size());

    for (const Action &action : actions) {
        if (body == action.code) {
            action.run(state);
            return { okReply, action.effect };
        }
    }

    if (body.endsWith('?')) {
        const Parameter *parameter = findParameter(body.chopped(1));
        return parameter ? CommandOutcome{ parameter->query(state) } : rejected();
    }

    const qsizetype equals = body.indexOf('=');
    const Parameter *parameter = equals < 0 ? nullptr : findParameter(body.first(equals));
    if (!parameter || !parameter->set || !parameter->set(state.current, body.sliced(equals + 1)))
        return rejected();
    return { okReply, parameter->effectOfSet };
}
