// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The signal bar: the value read from the log, its level, the band of that level and the
// segments the band lights.

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

// The bar's own colours, as ARGB values (QRgb, without needing the GUI library); the
// window's other colours live with the window.
namespace BarColours {
inline constexpr quint32 Red = 0xffff0000;
inline constexpr quint32 Yellow = 0xffffff00;
inline constexpr quint32 Green = 0xff00ff00;
} // namespace BarColours

// What a band shows: the first `shown` of the three segments, left to right, in one colour;
// the others are hidden.
struct BarSegments
{
    int shown;
    quint32 colour;
};

[[nodiscard]] constexpr BarSegments segmentsFor(SignalBand band)
{
    switch (band) {
    case SignalBand::Strong:
        return { 3, BarColours::Green };
    case SignalBand::Fair:
        return { 2, BarColours::Yellow };
    case SignalBand::Weak:
        return { 1, BarColours::Red };
    }
    return { 0, BarColours::Red };
}
