#pragma once

#include <QColor>
#include <QPalette>

namespace quillon {

// The application's fixed colours (sRGB) and the light palette every window uses.
namespace Theme {

QColor rgb(double red, double green, double blue);

const QColor& ink();
// ink() at opacity 0.58.
const QColor& secondaryInk();
const QColor& background();
const QColor& card();
const QColor& accent();
const QColor& lime();
// The editor's text colour; the same components as ink().
const QColor& inkNSColor();
// Strokes and divider lines: ink() at Metrics::hairlineOpacity.
const QColor& hairline();

// `color` with its opacity set to `opacity`.
QColor withOpacity(const QColor& color, double opacity);

// The light appearance with the lime tint, whatever the desktop's own theme is.
QPalette lightPalette();

} // namespace Theme
} // namespace quillon
