// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/rssigraph.h"

#include "serial/numbertext.h"

std::optional<qint16> rssiFromLog(const QString &log)
{
    if (!log.contains(u"dBm"))
        return std::nullopt;
    const qsizetype minus = log.indexOf(u'-');
    if (minus < 0)
        return std::nullopt;
    const std::optional<double> value = leadingNumber(QStringView(log).mid(minus, 4));
    if (!value)
        return std::nullopt;
    return toInt16HalfEven(*value);
}
