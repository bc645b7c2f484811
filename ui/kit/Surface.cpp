#include "ui/kit/Surface.h"

#include <QPainter>
#include <QPainterPath>

namespace quillon {

Surface::Surface(const QColor& fill, QWidget* parent)
    : QWidget(parent)
    , m_fill(fill) {
    setAttribute(Qt::WA_StyledBackground, false);
}

void Surface::setCornerRadius(qreal radius, Corners corners) {
    m_radius = radius;
    m_corners = corners;
    update();
}

void Surface::setStroke(std::optional<QColor> color) {
    m_stroke = std::move(color);
    update();
}

void Surface::setEdgeLine(Edge edge, const QColor& color) {
    m_edge = edge;
    m_edgeColor = color;
    update();
}

void Surface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath shape;
    switch (m_corners) {
    case Corners::all:
        shape.addRoundedRect(bounds, m_radius, m_radius);
        break;
    case Corners::top: {
        // Rounded on top, square at the bottom: a rounded rectangle joined with its lower half.
        QPainterPath rounded;
        rounded.addRoundedRect(bounds, m_radius, m_radius);
        QPainterPath lower;
        lower.addRect(bounds.adjusted(0, bounds.height() / 2, 0, 0));
        shape = rounded.united(lower);
        break;
    }
    case Corners::none:
        shape.addRect(bounds);
        break;
    case Corners::capsule: {
        const qreal r = qMin(bounds.width(), bounds.height()) / 2;
        shape.addRoundedRect(bounds, r, r);
        break;
    }
    }
    painter.setClipPath(shape);
    painter.fillPath(shape, m_fill);
    if (m_edge != Edge::none) {
        const qreal y = m_edge == Edge::top ? 0 : bounds.height() - 1;
        painter.fillRect(QRectF(0, y, bounds.width(), 1), m_edgeColor);
    }
    if (m_stroke) {
        // A 1-pixel line just inside the edge stays crisp instead of straddling two pixels.
        painter.setClipping(false);
        painter.setPen(QPen(*m_stroke, 1));
        painter.setBrush(Qt::NoBrush);
        const qreal radius =
            m_corners == Corners::capsule ? qMin(bounds.width(), bounds.height()) / 2 : m_radius;
        const qreal r = qMax<qreal>(0, radius - 0.5);
        painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), r, r);
    }
}

} // namespace quillon
