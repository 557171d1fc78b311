// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controltable.h"
#include "monitor/rssigraph.h"

#include <algorithm>
#include <cmath>

std::span<const ControlRow> controlTable()
{
    return ControlRows::rows;
}

const ControlRow &controlRow(QAnyStringView name)
{
    const QByteArray latin1 = name.toString().toLatin1();
    if (const ControlRow *row = findControlRow(std::string_view(latin1.constData(), latin1.size())))
        return *row;
    // Only a name of the caller's own making (a test's, a tool's) can miss: the window's
    // own names are checked while it is compiled. There is no row to hand back.
    qFatal("The control table has no control named \"%s\".", latin1.constData());
}

namespace {

int pixels(int twips, double scale)
{
    return int(std::lround(twips * scale / TwipsPerPixel));
}

} // namespace

QRect pixelRect(const ControlRow &row, double scale)
{
    // Edges are rounded rather than sizes, so that scaled neighbours keep their gaps.
    return { QPoint(pixels(row.left, scale), pixels(row.top, scale)),
             QPoint(pixels(row.left + row.width, scale) - 1,
                    pixels(row.top + row.height, scale) - 1) };
}

QSize clientPixelSize(double scale)
{
    return { pixels(ClientWidthTwips, scale), pixels(ClientHeightTwips, scale) };
}

QColor colourOf(ColourClass colour)
{
    switch (colour) {
    case ColourClass::Query:
        return QColor::fromRgb(Colours::Query);
    case ColourClass::Setting:
        return QColor::fromRgb(Colours::Setting);
    case ColourClass::Grey:
        return QColor::fromRgb(Colours::Window);
    case ColourClass::RedFill:
        return QColor::fromRgb(BarColours::Red);
    case ColourClass::YellowFill:
        return QColor::fromRgb(BarColours::Yellow);
    case ColourClass::GreenFill:
        return QColor::fromRgb(BarColours::Green);
    }
    return {};
}
