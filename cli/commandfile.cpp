// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commandfile.h"

#include "modem/commands.h"
#include "platform/escaping.h"

#include <algorithm>

namespace {

using namespace Commands;

struct Confirmed
{
    const char *text;
    const char *what;
};

constexpr Confirmed confirmedTexts[] = {
    { SaveSettings, "saves the modem's settings for good" },
    { FactoryDefaults, "restores the modem's factory defaults" },
};

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

QString shown(const QString &text)
{
    return u'"' + QString::fromLatin1(escapedText(text)) + u'"';
}

QList<CommandFile::Line> numbered(const QStringList &texts, bool comments)
{
    QList<CommandFile::Line> lines;
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

namespace CommandFile {

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
        return QStringLiteral("%1 holds a character outside printable ASCII").arg(shown(text));
    for (const Confirmed &c : confirmedTexts) {
        if (text == QLatin1StringView(c.text) && !confirmed) {
            return QStringLiteral("%1 %2; the window asks first, so it goes out only with --yes")
                    .arg(text, QLatin1StringView(c.what));
        }
    }
    for (const VocabularyEntry &entry : vocabulary()) {
        const QLatin1StringView known(entry.text);
        if (entry.shape != CommandShape::ValueSetting) {
            if (text == known)
                return {};
        } else if (text.startsWith(known)) {
            if (text.size() == known.size())
                return QStringLiteral("%1 needs a value after the \"=\"").arg(shown(text));
            return {};
        }
    }
    return QStringLiteral("%1 is not a command of the modem").arg(shown(text));
}

QStringList acceptedTexts()
{
    QStringList texts;
    for (const VocabularyEntry &entry : vocabulary()) {
        texts.append(QLatin1StringView(entry.text));
        if (entry.shape == CommandShape::ValueSetting)
            texts.last() += QStringLiteral("VALUE");
    }
    return texts;
}

} // namespace CommandFile
