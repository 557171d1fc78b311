// SPDX-License-Identifier: GPL-3.0-or-later
// The signal bar reads whatever the modem (or the user) left in the log.
#include "monitor/rssigraph.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString log = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<qint16> rssi = rssiFromLog(log)) {
        // Four characters from a "-" hold at most three digits.
        if (*rssi < -999 || *rssi > 999 || !log.contains(u"dBm") || !log.contains(u'-'))
            std::abort();
        const int level = barLevel(*rssi);
        if (level % 2 != 0)
            std::abort();
        const SignalBand band = bandFor(level);
        if ((band == SignalBand::Strong) != (*rssi >= -93)
            || (band == SignalBand::Weak) != (*rssi <= -106))
            std::abort();
    }
    return 0;
}
