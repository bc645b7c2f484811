#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace quillon {

// A plain-text label in `font` and `color`. The colour holds inside buttons too, where a
// label would otherwise take the button's text colour.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& color);

// Gives `widget` the text colour `color` and `font`, whatever its parent.
void setTextStyle(QWidget* widget, const QFont& font, const QColor& color);

} // namespace quillon
