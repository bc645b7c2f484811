#include "ui/theme/SymbolIconEngine.h"

#include <QPaintDevice>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace quillon {

SymbolIconEngine::SymbolIconEngine(Symbol symbol, const QColor& color)
    : m_symbol(symbol)
    , m_color(color) {}

QColor SymbolIconEngine::colorFor(QIcon::Mode mode) const {
    if (mode != QIcon::Disabled) {
        return m_color;
    }
    QColor faded = m_color;
    faded.setAlphaF(m_color.alphaF() * 0.35f);
    return faded;
}

void SymbolIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) {
    const int side = qMin(rect.width(), rect.height());
    if (side <= 0) {
        return;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = symbolPixmap(m_symbol, colorFor(mode), side, ratio);
    const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2,
                       side, side);
    painter->drawPixmap(target, pixmap);
}

QPixmap SymbolIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap SymbolIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State,
                                       qreal scale) {
    // `size` is already in device pixels here; the icon sets the ratio on what it returns.
    const int side = qMax(1, qMin(size.width(), size.height()));
    QPixmap result = symbolPixmap(m_symbol, colorFor(mode), side, 1.0);
    result.setDevicePixelRatio(scale);
    return result;
}

QSize SymbolIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State) {
    const int side = qMin(size.width(), size.height());
    return {side, side};
}

QIconEngine* SymbolIconEngine::clone() const {
    return new SymbolIconEngine(m_symbol, m_color);
}

QString SymbolIconEngine::key() const {
    return u"quillon-symbol"_s;
}

} // namespace quillon
