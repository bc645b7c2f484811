#include "ui/kit/ActionButton.h"

#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QPainter>
#include <QPainterPath>

namespace quillon {

ActionButton::ActionButton(const QString& text, QColor fill, bool hasBorder, QWidget* parent)
    : QPushButton(text, parent)
    , m_fill(fill)
    , m_hasBorder(hasBorder) {
    setFont(quillon::font(TextStyle::headline));
    // Fills the width it is offered; the height is the label's plus the padding.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Enter presses the focused button, as Space does, outside dialogs too.
    setAutoDefault(true);
}

void ActionButton::setPadding(int horizontal, int vertical) {
    m_horizontalPadding = horizontal;
    m_verticalPadding = vertical;
    updateGeometry();
}

QSize ActionButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * m_horizontalPadding,
            metrics.height() + 2 * m_verticalPadding};
}

QSize ActionButton::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

void ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath shape;
    shape.addRoundedRect(bounds, cornerRadius, cornerRadius);

    // Clipping to the shape after stroking its outline leaves the stroke's inner half.
    painter.setClipPath(shape);
    painter.fillPath(shape, Theme::withOpacity(m_fill, isDown() ? pressedOpacity : 1.0));
    if (m_hasBorder) {
        QPen border(Theme::withOpacity(Theme::ink(), borderOpacity), borderWidth);
        painter.strokePath(shape, border);
    }

    painter.setClipping(false);
    painter.setFont(font());
    painter.setPen(isEnabled() ? Theme::ink()
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(bounds, Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace quillon
