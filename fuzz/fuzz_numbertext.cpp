// SPDX-License-Identifier: GPL-3.0-or-later
// Port texts come straight from the user's typing; every text must read or be refused.
#include "serial/baudrates.h"
#include "serial/numbertext.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<double> value = leadingNumber(text)) {
        if (std::isnan(*value))
            std::abort();
        if (const std::optional<qint16> port = toInt16HalfEven(*value)) {
            if (std::abs(double(*port) - *value) > 0.5)
                std::abort();
        }
    }
    if (const std::optional<QString> settings = portSettingsForBaudText(text)) {
        if (!settings->startsWith(text + u','))
            std::abort();
    }
    return 0;
}
