// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Reads the number at the front of a text the way the modem tools of old did: blanks, tabs
// and line feeds are skipped wherever they stand, then an optional sign, digits and an
// optional fraction; reading stops at the first other character. Returns nothing when the
// text holds no digit at all, so callers can tell "0" from "no number".
[[nodiscard]] std::optional<double> leadingNumber(QStringView text);

// Nearest 16-bit integer, a half going to the even neighbour; nothing when out of range.
[[nodiscard]] std::optional<qint16> toInt16HalfEven(double value);
