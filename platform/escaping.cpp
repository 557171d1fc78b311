// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/escaping.h"

#include <algorithm>

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

bool printable(unsigned char code)
{
    return code >= 0x20 && code < 0x7f;
}

} // namespace

bool isPrintableAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return printable(static_cast<unsigned char>(c)); });
}

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x80 && printable(c.unicode()); });
}

QByteArray escapedBytes(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '\r')
            text.append("\\r");
        else if (byte == '\n')
            text.append("\\n");
        else if (byte == '\\')
            text.append("\\\\");
        else if (printable(code))
            text.append(byte);
        else
            text.append("\\x").append(hexDigits[code >> 4]).append(hexDigits[code & 0xf]);
    }
    return text;
}

QByteArray escapedText(const QString &text)
{
    return escapedBytes(text.toUtf8());
}

QString escapedString(const QString &text)
{
    return QString::fromLatin1(escapedText(text));
}

QByteArray escapedExcerpt(QByteArrayView bytes, qsizetype limit)
{
    const QByteArray shown = escapedBytes(bytes.first(std::min(bytes.size(), limit)));
    return bytes.size() > limit ? shown + "..." : shown;
}

QByteArray jsonString(QByteArrayView bytes)
{
    QByteArray json = "\"";
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '"' || byte == '\\')
            json.append('\\').append(byte);
        else if (byte == '\r')
            json.append("\\r");
        else if (byte == '\n')
            json.append("\\n");
        else if (printable(code))
            json.append(byte);
        else
            json.append("\\u00").append(hexDigits[code >> 4]).append(hexDigits[code & 0xf]);
    }
    return json + '"';
}
