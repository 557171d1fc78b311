// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/rssigraph.h"

#include <QColor>
#include <QRect>
#include <QAnyStringView>

#include <span>

// A rate list offers the six baud rates; the port list, the port numbers 1 to 1000.
enum class ControlKind { Label, RateList, PortList, Button, TextBox, LogBox, CheckBox, Shape };

// The colour tells the kind of button: olive reads from the modem or acts on the utility,
// magenta changes the modem. Boxes and labels are grey with white text; the signal bar's
// rectangles have their own fills.
enum class ColourClass { Query, Setting, Grey, RedFill, YellowFill, GreenFill };

// Who shows a control: nobody (the port group, always visible), "Open port", the
// "More settings..." box, or the signal graph.
enum class ControlGroup { Port, ResponseLog, MainPanel, ExtendedPanel, SignalGraph };

struct ControlRow
{
    const char *name;
    ControlKind kind;
    const char *text;
    const char *hint;
    int left, top, width, height; // twips, from the client area's top-left corner
    ColourClass colour;
    ControlGroup group;
    int tab; // place in the Tab order; labels keep theirs but take no focus; -1: none
    bool bold;

    [[nodiscard]] bool shownAtStart() const { return group == ControlGroup::Port; }
};

inline constexpr int TwipsPerPixel = 15;
inline constexpr int ClientWidthTwips = 8805;
inline constexpr int ClientHeightTwips = 11715;
inline constexpr int BorderTwips = 15;

[[nodiscard]] std::span<const ControlRow> controlTable();
[[nodiscard]] const ControlRow &controlRow(QAnyStringView name);
// In logical pixels, for a window laid out `scale` times its designed size (see ScreenFit).
[[nodiscard]] QRect pixelRect(const ControlRow &row, double scale = 1.0);
[[nodiscard]] QSize clientPixelSize(double scale = 1.0);
[[nodiscard]] QColor colourOf(ColourClass colour);

namespace Colours {
inline constexpr QRgb Window = 0xff3f3f3f;
inline constexpr QRgb Text = 0xffffffff;
inline constexpr QRgb Query = 0xffc0c000;
inline constexpr QRgb Setting = 0xffff00ff;
} // namespace Colours
