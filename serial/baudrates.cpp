// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/baudrates.h"

namespace BaudRates {

QStringList list()
{
    QStringList rates;
    for (const char *rate : texts)
        rates.append(QLatin1StringView(rate));
    return rates;
}

QString spelledOut()
{
    QStringList rates = list();
    const QString last = rates.takeLast();
    return rates.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace BaudRates

std::optional<QString> portSettingsForBaudText(const QString &baudText)
{
    for (const char *rate : BaudRates::texts) {
        if (baudText == QLatin1StringView(rate))
            return baudText + QStringLiteral(",N,8,1");
    }
    return std::nullopt;
}
