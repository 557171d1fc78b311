// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/questions.h"

#include <QColor>
#include <QRect>
#include <QAnyStringView>

#include <span>
#include <string_view>

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

// Every control of the window, one row each. The rows are visible to the compiler, so the
// window finds its controls' rows while it is compiled, and a name the table lacks does not
// build. A button that asks the modem a question carries that question's name.
namespace ControlRows {

using K = ControlKind;
using C = ColourClass;
using G = ControlGroup;

inline constexpr const char *none = "";

// clang-format off
// Rows of one group stand in the order in which that group is shown and hidden.
inline constexpr ControlRow rows[] = {
    // name         kind        caption or first text     hint  left  top  width height colour group tab bold
    {"Label2",    K::Label,    "Select comport:", none, 2280, 120, 1215, 255, C::Grey, G::Port, 53, false},
    {"Combo2",    K::PortList, "Combo2", none, 2400, 360, 1695, 315, C::Grey, G::Port, 23, true},
    {"Command1",  K::Button,   "Open port", "Select correct COM port, baudrate and then press this.",
     480, 360, 1695, 375, C::Query, G::Port, 46, false},
    {"Label1",    K::Label,    "Select baudrate:", none, 2400, 840, 1215, 255, C::Grey, G::Port, 54, false},
    {"Combo1",    K::RateList, "Combo1", none, 2400, 1080, 1695, 315, C::Grey, G::Port, 24, true},
    {"Command36", K::Button,   "Close port", none, 480, 960, 1695, 375, C::Query, G::Port, 1, false},
    {"Command33", K::Button,   "Close software",
     "If settings have been changed Save settings must be pressed or settings are lost in next power cycle.",
     6240, 10800, 1815, 495, C::Query, G::Port, 4, false},

    {"Text2",     K::LogBox,   "Text2\r\n", "Response from modem shows here. Doubleclick to clear.",
     4320, 360, 3615, 1095, C::Grey, G::ResponseLog, 44, true},
    {"Label3",    K::Label,    "Data from modem:", none, 4320, 120, 1575, 255, C::Grey, G::ResponseLog, 52, false},

    {"Label4",    K::Label,    "Mhz", none, 7440, 3360, 495, 255, C::Grey, G::MainPanel, 51, true},
    {"Label5",    K::Label,    "Mhz", none, 7440, 3960, 495, 255, C::Grey, G::MainPanel, 50, true},
    {"Label6",    K::Label,    "Mhz", none, 7440, 4560, 495, 255, C::Grey, G::MainPanel, 49, true},
    {"Check1",    K::CheckBox, "More settings...", none, 600, 7440, 1815, 375, C::Grey, G::MainPanel, 5, true},
    {"Command22", K::Button,   "Disable transmission", "Press this before changing settings (if modem is receiving data).",
     480, 2160, 1695, 375, C::Setting, G::MainPanel, 20, false},
    {"Command23", K::Button,   "Enable transmission", "Press this before closing the software.",
     3360, 2160, 1695, 375, C::Setting, G::MainPanel, 19, false},
    {"Command2",  K::Button,   Questions::SerialParams.caption, none, 480, 2760, 1695, 375, C::Query, G::MainPanel, 45, false},
    {"Command21", K::Button,   "Set serial params", none, 3360, 2760, 1695, 375, C::Setting, G::MainPanel, 22, false},
    {"Command7",  K::Button,   Questions::RxFrequency.caption, none, 480, 3360, 1695, 375, C::Query, G::MainPanel, 40, false},
    {"Command9",  K::Button,   "Set Rx freq", none, 3360, 3360, 1695, 375, C::Setting, G::MainPanel, 38, false},
    {"Command8",  K::Button,   Questions::TxFrequency.caption, none, 480, 3960, 1695, 375, C::Query, G::MainPanel, 39, false},
    {"Command10", K::Button,   "Set Tx freq", none, 3360, 3960, 1695, 375, C::Setting, G::MainPanel, 35, false},
    {"Command29", K::Button,   Questions::RefFrequency.caption, none, 480, 4560, 1695, 375, C::Query, G::MainPanel, 11, false},
    {"Command30", K::Button,   "Set Ref freq", none, 3360, 4560, 1695, 375, C::Setting, G::MainPanel, 10, false},
    {"Command11", K::Button,   "Save settings",
     "If settings have been changed Save settings must be pressed or settings are lost in next power cycle. ",
     3360, 10800, 1695, 495, C::Setting, G::MainPanel, 34, false},
    {"Command12", K::Button,   Questions::ChannelSpacing.caption, none, 480, 5160, 1695, 375, C::Query, G::MainPanel, 33, false},
    {"Command13", K::Button,   "Set CH spacing 12.5", none, 480, 5760, 1695, 375, C::Setting, G::MainPanel, 32, false},
    {"Command14", K::Button,   "Set CH spacing 20", none, 3360, 5760, 1695, 375, C::Setting, G::MainPanel, 31, false},
    {"Command15", K::Button,   "Set CH spacing 25", none, 6240, 5760, 1695, 375, C::Setting, G::MainPanel, 30, false},
    {"Command16", K::Button,   Questions::FecStatus.caption, none, 480, 6360, 1695, 375, C::Query, G::MainPanel, 29, false},
    {"Command17", K::Button,   "Set FEC ON", none, 3360, 6360, 1695, 375, C::Setting, G::MainPanel, 28, false},
    {"Command18", K::Button,   "Set FEC OFF", none, 6240, 6360, 1695, 375, C::Setting, G::MainPanel, 27, false},
    {"Command6",  K::Button,   Questions::RepeaterMode.caption, none, 480, 6960, 1695, 375, C::Query, G::MainPanel, 8, false},
    {"Command31", K::Button,   "Set repeater OFF", none, 3360, 6960, 1695, 375, C::Setting, G::MainPanel, 7, false},
    {"Command32", K::Button,   "Set repeater ON", none, 6240, 6960, 1695, 375, C::Setting, G::MainPanel, 6, false},
    {"Text5",     K::TextBox,  ",8,N,1", "Change additional serial settings. MUST be in this format.",
     7320, 2760, 735, 285, C::Grey, G::MainPanel, 21, true},
    {"Text3",     K::TextBox,  "430.32500", "Set Rx frequency. MUST be in this format.",
     6240, 3360, 1215, 285, C::Grey, G::MainPanel, 37, true},
    {"Text4",     K::TextBox,  "430.32500", "Set Tx frequency. MUST be in this format.",
     6240, 3960, 1215, 285, C::Grey, G::MainPanel, 36, true},
    {"Text1",     K::TextBox,  "430.32500", "Set reference frequency. MUST be in this format.",
     6240, 4560, 1215, 285, C::Grey, G::MainPanel, 9, true},
    {"Combo3",    K::RateList, "Combo3", "Select baudrate.", 5640, 2760, 1695, 315, C::Grey, G::MainPanel, 0, true},

    {"Command3",  K::Button,   Questions::ModemType.caption, none, 480, 8040, 1695, 375, C::Query, G::ExtendedPanel, 43, false},
    {"Command4",  K::Button,   Questions::SerialNumber.caption, none, 3360, 8040, 1695, 375, C::Query, G::ExtendedPanel, 42, false},
    {"Command5",  K::Button,   Questions::FirmwareRevision.caption, none, 6240, 8040, 1695, 375, C::Query, G::ExtendedPanel, 41, false},
    {"Command19", K::Button,   Questions::NoiseLevel.caption, none, 6240, 8640, 1695, 375, C::Query, G::ExtendedPanel, 26, false},
    {"Command20", K::Button,   Questions::Rssi.caption,
     "Received signal strength. Available up to 7 seconds after last reception. ",
     480, 8640, 1695, 375, C::Query, G::ExtendedPanel, 25, false},
    {"Command24", K::Button,   Questions::OutputPower.caption, none, 480, 9240, 1695, 375, C::Query, G::ExtendedPanel, 18, false},
    {"Command25", K::Button,   "Set output power", none, 3360, 9240, 1695, 375, C::Setting, G::ExtendedPanel, 16, false},
    {"Command26", K::Button,   Questions::CompatibilityMode.caption, none, 480, 9840, 1695, 375, C::Query, G::ExtendedPanel, 15, false},
    {"Command27", K::Button,   "Set compatib. mode", none, 3360, 9840, 1695, 375, C::Setting, G::ExtendedPanel, 14, false},
    {"Command28", K::Button,   "?", none, 7680, 9840, 375, 375, C::Query, G::ExtendedPanel, 12, true},
    {"Command34", K::Button,   "Show RSSI graph", "Graphical signal strength. Turn it off before changing settings.",
     3360, 8640, 1695, 375, C::Query, G::ExtendedPanel, 3, false},
    {"Command35", K::Button,   "Set factory defaults", "This sets all settings to factory defaults.",
     480, 10800, 1695, 495, C::Setting, G::ExtendedPanel, 2, false},
    {"Text6",     K::TextBox,  "1000", "Output power in milliwatts", 6240, 9240, 1095, 285, C::Grey, G::ExtendedPanel, 17, true},
    {"Text7",     K::TextBox,  "0", "Press question mark to get info about this.", 6240, 9840, 375, 285, C::Grey, G::ExtendedPanel, 13, true},
    {"Label7",    K::Label,    "mW", none, 7560, 9240, 495, 255, C::Grey, G::ExtendedPanel, 48, true},

    {"Label8",    K::Label,    "Signal:", none, 960, 1800, 615, 255, C::Grey, G::SignalGraph, -1, true},
    {"Shape1",    K::Shape,    none, none, 1680, 1680, 1575, 375, C::RedFill, G::SignalGraph, -1, false},
    {"Shape2",    K::Shape,    none, none, 3240, 1680, 1695, 375, C::YellowFill, G::SignalGraph, -1, false},
    {"Shape3",    K::Shape,    none, none, 4920, 1680, 1935, 375, C::GreenFill, G::SignalGraph, -1, false},
};
// clang-format on

} // namespace ControlRows

// Where the control named `name` stands in the table; the table's size when it is not there.
// An index rather than a pointer, so that a constant evaluation can test it: a build with
// the sanitizers keeps null-pointer checks that GCC then cannot fold for an object's address.
[[nodiscard]] constexpr std::size_t controlRowIndex(std::string_view name)
{
    std::size_t i = 0;
    while (i < std::size(ControlRows::rows) && name != ControlRows::rows[i].name)
        ++i;
    return i;
}

// The row of the control named `name`, or none.
[[nodiscard]] constexpr const ControlRow *findControlRow(std::string_view name)
{
    const std::size_t i = controlRowIndex(name);
    return i < std::size(ControlRows::rows) ? ControlRows::rows + i : nullptr;
}

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
