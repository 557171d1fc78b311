// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/settingsfile.h"

#include <QList>

#include <optional>

namespace {

// The value as the store writes it: plain, or in quotes when it has blanks at its ends or
// characters INI gives a meaning; a backslash escapes the next character. Nothing when a
// quote opens and does not close on the line.
std::optional<QString> unquoted(QByteArrayView raw)
{
    QByteArray value;
    bool quoted = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char next = raw[++i];
            value += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else {
            value += c;
        }
    }
    if (quoted)
        return std::nullopt;
    return QString::fromUtf8(value);
}

} // namespace

SettingsFileLines readSettingsLines(const QByteArray &content)
{
    SettingsFileLines result;
    const auto damaged = [&result](qsizetype lineNumber, const char *what) {
        if (result.damage.isEmpty())
            result.damage =
                    QStringLiteral("line %1 %2").arg(lineNumber).arg(QLatin1StringView(what));
    };

    QByteArray section;
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QByteArray line = lines[n];
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'))
            continue;
        if (line.contains('\0')) {
            damaged(n + 1, "holds a NUL byte");
            continue;
        }
        if (trimmed.startsWith('[')) {
            if (!trimmed.endsWith(']') || trimmed.size() < 3) {
                damaged(n + 1, "is no [section] line");
                section.clear();
                continue;
            }
            section = trimmed.mid(1, trimmed.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0 || line.left(equals).trimmed().isEmpty()) {
            damaged(n + 1, "is no \"key=value\" line");
            continue;
        }
        const std::optional<QString> value = unquoted(line.mid(equals + 1).trimmed());
        if (!value) {
            damaged(n + 1, "opens a quote that does not close");
            continue;
        }
        const QByteArray key = line.left(equals).trimmed();
        bool isNumber = false;
        const int number = key.mid(3).toInt(&isNumber);
        if (section == "Ports" && key.startsWith("COM") && isNumber && number > 0)
            result.ports.insert(number, *value);
    }
    return result;
}
