// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/script.h"

#include "modem/commands.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

using namespace Commands;

// Sent exactly as written here.
constexpr const char *exactTexts[] = {
    ModemType,
    SerialNumber,
    FirmwareRevision,
    RxFrequency,
    TxFrequency,
    RefFrequency,
    ChannelSpacing,
    ChannelSpacing12_5,
    ChannelSpacing20,
    ChannelSpacing25,
    FecStatus,
    FecOn,
    FecOff,
    NoiseLevel,
    Rssi,
    OutputPower,
    CompatibilityMode,
    RepeaterMode,
    RepeaterOff,
    RepeaterOn,
    SerialParams,
    DisableTransmission,
    EnableTransmission,
    SaveSettings,
    FactoryDefaults,
};

// Sent with the value that follows them.
constexpr const char *valuePrefixes[] = {
    SetRxFrequency, SetTxFrequency,       SetRefFrequency,
    SetOutputPower, SetCompatibilityMode, SetSerialParams,
};

struct Confirmed
{
    const char *text;
    const char *what;
};

constexpr Confirmed confirmedTexts[] = {
    { SaveSettings, "saves the modem's settings for good" },
    { FactoryDefaults, "restores the modem's factory defaults" },
};

QString tr(const char *text)
{
    return QCoreApplication::translate("Script", text);
}

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

QString shown(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            result += c;
        else
            result += QStringLiteral("\\x{%1}").arg(uint(c.unicode()), 0, 16);
    }
    return u'"' + result + u'"';
}

QList<Script::Line> numbered(const QStringList &texts, bool comments)
{
    QList<Script::Line> lines;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QString text = texts[i];
        if (comments)
            text = text.section(u'#', 0, 0);
        text = text.trimmed();
        if (!text.isEmpty())
            lines.append({ int(i + 1), text });
    }
    return lines;
}

} // namespace

namespace Script {

QList<Line> fromFile(const QString &contents)
{
    return numbered(contents.split(u'\n'), true);
}

QList<Line> fromArguments(const QStringList &arguments)
{
    return numbered(arguments, false);
}

QString refusalFor(const QString &text, bool confirmed)
{
    // A CR or LF inside a value would put a second command on the line, one nobody checked.
    if (!isPrintableAscii(text))
        return tr("%1 holds a character outside printable ASCII").arg(shown(text));
    for (const Confirmed &c : confirmedTexts) {
        if (text == QLatin1StringView(c.text) && !confirmed) {
            return tr("%1 %2; the window asks first, so it goes out only with --yes")
                    .arg(text, QLatin1StringView(c.what));
        }
    }
    for (const char *exact : exactTexts) {
        if (text == QLatin1StringView(exact))
            return {};
    }
    for (const char *prefix : valuePrefixes) {
        if (text.startsWith(QLatin1StringView(prefix))) {
            if (text.size() == qsizetype(qstrlen(prefix)))
                return tr("%1 needs a value after the \"=\"").arg(shown(text));
            return {};
        }
    }
    return tr("%1 is not a command of the modem").arg(shown(text));
}

QStringList vocabulary()
{
    QStringList texts;
    for (const char *exact : exactTexts)
        texts.append(QLatin1StringView(exact));
    for (const char *prefix : valuePrefixes)
        texts.append(QLatin1StringView(prefix) + QStringLiteral("VALUE"));
    return texts;
}

} // namespace Script
