#include "ui/kit/TextLabel.h"

#include <QLabel>

namespace quillon {

void setTextStyle(QWidget* widget, const QFont& font, const QColor& color) {
    widget->setFont(font);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
    // Without an explicit role a widget takes its parent's, ButtonText inside a button.
    widget->setForegroundRole(QPalette::WindowText);
}

QLabel* textLabel(const QString& text, const QFont& font, const QColor& color) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    setTextStyle(label, font, color);
    return label;
}

} // namespace quillon
