#include "ui/kit/GlyphButton.h"

#include "ui/kit/EnterKeyActivation.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace quillon {

GlyphButton::GlyphButton(Symbol symbol, int symbolPixelSize, int frameSize, const QColor& color,
                         QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_symbolSize(symbolPixelSize)
    , m_frame(frameSize)
    , m_color(color) {
    setFixedSize(frameSize, frameSize);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    EnterKeyActivation::install(this);
}

void GlyphButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isDown()) {
        painter.setOpacity(0.5);
    } else if (!isEnabled()) {
        painter.setOpacity(0.35);
    }
    const QPixmap pixmap = symbolPixmap(m_symbol, m_color, m_symbolSize, devicePixelRatioF());
    const QRect target((width() - m_symbolSize) / 2, (height() - m_symbolSize) / 2, m_symbolSize,
                       m_symbolSize);
    painter.drawPixmap(target, pixmap);
}

} // namespace quillon
