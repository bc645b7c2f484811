#pragma once

#include "ui/theme/Symbols.h"

#include <QColor>
#include <QIconEngine>

namespace quillon {

// Draws a symbol afresh for every size and device pixel ratio it is asked for, so an icon
// stays crisp and correctly sized on any screen, including when the window moves to another.
class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(Symbol symbol, const QColor& color);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    QColor colorFor(QIcon::Mode mode) const;

    Symbol m_symbol;
    QColor m_color;
};

} // namespace quillon
