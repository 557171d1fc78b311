// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>

std::optional<double> leadingNumber(QStringView text)
{
    // Accumulate the digits as text and convert them once, so that "0.1" reads as the
    // nearest double rather than a sum of rounded tenths. std::from_chars always takes the
    // point as the decimal separator; strtod would follow the user's locale, and under a
    // decimal comma read "3.5" as 3.
    QByteArray digits;
    bool signSeen = false;
    bool pointSeen = false;
    bool anyDigit = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        if ((c == u'-' || c == u'+') && !signSeen && digits.isEmpty()) {
            signSeen = true;
            if (c == u'-')
                digits.append('-');
            continue;
        }
        if (c == u'.' && !pointSeen) {
            pointSeen = true;
            digits.append('.');
            signSeen = true;
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            digits.append(char(c.unicode()));
            anyDigit = true;
            signSeen = true;
            continue;
        }
        break;
    }
    if (!anyDigit)
        return std::nullopt;
    double value = 0.0;
    const std::from_chars_result result =
            std::from_chars(digits.cbegin(), digits.cend(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond what a double holds: too large when a digit other than 0 stands before the
        // point, otherwise too small. The callers refuse anything beyond 16 bits, so only
        // which of the two it was matters.
        const qsizetype point = digits.indexOf('.');
        const QByteArray whole = point < 0 ? digits : digits.left(point);
        const bool large = std::any_of(whole.cbegin(), whole.cend(),
                                       [](char c) { return c >= '1' && c <= '9'; });
        const double magnitude = large ? HUGE_VAL : 0.0;
        return digits.startsWith('-') ? -magnitude : magnitude;
    }
    return value;
}

std::optional<qint16> toInt16HalfEven(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value); // the default rounding mode is to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return qint16(rounded);
}
