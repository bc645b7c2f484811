#include "ui/theme/Theme.h"

#include "ui/theme/Metrics.h"

namespace quillon::Theme {

QColor rgb(double red, double green, double blue) {
    return QColor::fromRgbF(float(red), float(green), float(blue), 1.0f);
}

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(float(opacity));
    return result;
}

// Function-local statics: created on first use, safely against concurrent first use.
const QColor& ink() {
    static const QColor color = rgb(0.067, 0.071, 0.059);
    return color;
}

const QColor& secondaryInk() {
    static const QColor color = withOpacity(ink(), 0.58);
    return color;
}

const QColor& background() {
    static const QColor color = rgb(0.949, 0.941, 0.91);
    return color;
}

const QColor& card() {
    static const QColor color = rgb(1, 0.992, 0.969);
    return color;
}

const QColor& accent() {
    static const QColor color = rgb(1, 0.373, 0.239);
    return color;
}

const QColor& lime() {
    static const QColor color = rgb(0.788, 0.973, 0.416);
    return color;
}

const QColor& inkNSColor() {
    return ink();
}

const QColor& hairline() {
    static const QColor color = withOpacity(ink(), Metrics::hairlineOpacity);
    return color;
}

QPalette lightPalette() {
    QPalette palette(QColor(0xf6, 0xf6, 0xf4), background());
    palette.setColor(QPalette::Window, background());
    palette.setColor(QPalette::WindowText, ink());
    palette.setColor(QPalette::Base, card());
    palette.setColor(QPalette::AlternateBase, background());
    palette.setColor(QPalette::Text, ink());
    palette.setColor(QPalette::ButtonText, ink());
    palette.setColor(QPalette::Button, card());
    palette.setColor(QPalette::ToolTipBase, card());
    palette.setColor(QPalette::ToolTipText, ink());
    palette.setColor(QPalette::PlaceholderText, secondaryInk());
    palette.setColor(QPalette::Highlight, lime());
    palette.setColor(QPalette::HighlightedText, ink());
    palette.setColor(QPalette::Link, ink());
    palette.setColor(QPalette::Disabled, QPalette::Text, secondaryInk());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, secondaryInk());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, secondaryInk());
    return palette;
}

} // namespace quillon::Theme
