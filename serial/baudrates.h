// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The six rates the utility offers for the PC's port and the modem's, as their lists show
// them. Every list, help text and check takes them from here.
namespace BaudRates {

inline constexpr std::array<const char *, 6> texts = { "1200", "2400",  "4800",
                                                       "9600", "19200", "38400" };

[[nodiscard]] QStringList list();
// "1200, 2400, 4800, 9600, 19200 or 38400".
[[nodiscard]] QString spelledOut();

} // namespace BaudRates

// The line settings that "Open port" applies for a baud-rate text, matched exactly
// (no trimming, no case folding): the rate, no parity, 8 data bits, 1 stop bit. Nothing when
// the text is none of the six rates.
[[nodiscard]] std::optional<QString> portSettingsForBaudText(const QString &baudText);
