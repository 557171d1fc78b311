// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// The window is laid out at fixed places in logical pixels. Where the screen's available area
// is too small for it, the whole window is scaled down through Qt's own scale factor, chosen
// before the GUI starts: controls, fonts and the style's metrics all shrink alike, so the
// layout keeps its proportions and "Close software" stays on the screen.
namespace ScreenFit {

// By how much `window` must shrink to fit into `available`; 1 when it fits. Rounded down to
// three decimals, so the scaled window never comes out a pixel larger than the area.
[[nodiscard]] double shrinkFactor(QSize window, QSize available);

// Looks at the primary screen through a short-lived QGuiApplication and, where `window` would
// not fit, sets QT_SCALE_FACTOR: the user's own factor, if any, times the shrink factor.
// Call before the QApplication exists; argc and argv are left as they are.
void chooseScaleFactor(int argc, char *argv[], QSize window);

// Where a window of `size` stands: centred in `available`, never beyond its top-left corner.
[[nodiscard]] QPoint placement(QSize size, const QRect &available);

} // namespace ScreenFit
