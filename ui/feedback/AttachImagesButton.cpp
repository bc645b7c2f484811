#include "ui/feedback/AttachImagesButton.h"

#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QFontMetrics>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace quillon {

AttachImagesButton::AttachImagesButton(QWidget* parent)
    : SecondaryButton(u"Attach images"_s, parent) {}

void AttachImagesButton::paintEvent(QPaintEvent* event) {
    SecondaryButton::paintEvent(event);
    // The title is centred; the symbol goes before it, so title and symbol read as one label.
    const int textWidth = QFontMetrics(font()).horizontalAdvance(text());
    const int left = (width() - textWidth) / 2 - symbolSpacing - symbolSize;
    const QColor color =
        isEnabled() ? Theme::ink() : palette().color(QPalette::Disabled, QPalette::ButtonText);
    QPainter painter(this);
    painter.drawPixmap(
        left, (height() - symbolSize) / 2,
        symbolPixmap(Symbol::photoOnRectangle, color, symbolSize, devicePixelRatioF()));
}

} // namespace quillon
