// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

// The window is laid out at fixed places. Where the screen's available area is too small for
// it, the whole window is scaled down uniformly, so that every control keeps its place among
// the others and "Close software" stays on the screen. Down to one device pixel per logical
// pixel Qt's own scale factor does it, chosen before the GUI starts: controls, fonts and the
// style's metrics all shrink alike. Below that, Qt 6.4 paints widgets unscaled into a smaller
// window (QPainter takes no ratio under 1), so there the ratio stays 1 and the window lays
// itself out smaller.
namespace ScreenFit {

struct Fit
{
    // Qt's scale factor to set (QT_SCALE_FACTOR); 0 to leave it as it is.
    double qtScaleFactor = 0.0;
    // How much smaller than designed the window lays itself out, in logical pixels.
    double layoutScale = 1.0;
};

// For a window of `client` logical pixels inside a frame `frame` pixels wide, on a screen
// whose available area is `available` (logical pixels at `devicePixelRatio`), the user's own
// QT_SCALE_FACTOR being `userFactor`. Scales are rounded down to three decimals, and the area
// is taken a little short where Qt rounded it to logical pixels, so the window never comes
// out a pixel larger than the area.
[[nodiscard]] Fit fitFor(QSize client, int frame, QSize available, double devicePixelRatio,
                         double userFactor);

// Starts the application such that the window fits the primary screen. Where it would not
// fit, the first application object goes and a second one starts with QT_SCALE_FACTOR set,
// since Qt reads it only at start; on a screen that is large enough, nothing is done twice.
// `*layoutScale` receives the window's layout scale.
[[nodiscard]] std::unique_ptr<QApplication> startFitted(int &argc, char **argv, QSize client,
                                                        int frame, double *layoutScale);

// Where a window of `size` stands: centred in `available`, never beyond its top-left corner.
[[nodiscard]] QPoint placement(QSize size, const QRect &available);

} // namespace ScreenFit
