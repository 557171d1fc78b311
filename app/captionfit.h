// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QString>

// The captions are sized for Liberation Sans, whose widths match the fonts the layout was
// drawn in. Where it is missing, the next sans-serif (DejaVu Sans, say) is wider and a caption
// would be clipped: "Select baudrat". The caption then gets the same font a pixel smaller at a
// time until it fits `width`, down to a floor below which it would no longer be legible: two
// thirds of the size it was given, so that the floor shrinks with a window laid out smaller.
[[nodiscard]] QFont fittedFont(QFont font, const QString &text, int width);
