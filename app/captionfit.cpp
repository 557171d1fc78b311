// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/captionfit.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>

namespace {

constexpr int SmallestPixels = 7;

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
    while (font.pixelSize() > SmallestPixels && widthOf(font, text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}
