// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/captionfit.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace {

// A caption keeps at least two thirds of the size it was given: 7 pixels of the designed 11,
// and as much less as a window laid out smaller for a small screen has shrunk everything else.
constexpr double SmallestShare = 2.0 / 3.0;

int widthOf(const QFont &font, const QString &text)
{
    // The ink can reach past the advance (a bold final "s", an "f"), and that is what clips.
    const QFontMetrics metrics(font);
    return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
}

} // namespace

QFont fittedFont(QFont font, const QString &text, int width)
{
    if (font.pixelSize() <= 0)
        font.setPixelSize(QFontInfo(font).pixelSize());
    const int smallest = std::max(1, int(std::lround(font.pixelSize() * SmallestShare)));
    while (font.pixelSize() > smallest && widthOf(font, text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}
