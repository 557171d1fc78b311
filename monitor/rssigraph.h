#pragma once

#include <QString>

#include <optional>

enum class SignalBand { Weak, Fair, Strong };

// The signal value the bar shows for a log: read from the first "-" in the log (up to four
// characters) once the log holds a "dBm" anywhere. Nothing when the log holds no "dBm",
// no "-", or no digit after the "-": such a log leaves the bar as it was.
[[nodiscard]] std::optional<qint16> rssiFromLog(const QString &log);

[[nodiscard]] constexpr int barLevel(qint16 rssi)
{
    return (int(rssi) + 118) * 2;
}

[[nodiscard]] constexpr SignalBand bandFor(int level)
{
    if (level >= 50)
        return SignalBand::Strong;
    if (level >= 26)
        return SignalBand::Fair;
    return SignalBand::Weak;
}
