#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

namespace quillon {

// A painted backdrop for the cards, strips and bars of the panes: a fill clipped to a
// rounded rectangle, optionally stroked, optionally with a hairline along its top or bottom
// edge. Its children draw no background of their own, so the rounded corners stay clean.
class Surface : public QWidget {
    Q_OBJECT

public:
    // A capsule rounds the short sides fully, whatever the size.
    enum class Corners { all, top, none, capsule };
    enum class Edge { none, top, bottom };

    explicit Surface(const QColor& fill, QWidget* parent = nullptr);

    QColor fill() const { return m_fill; }
    void setCornerRadius(qreal radius, Corners corners = Corners::all);
    // A 1-pixel outline of the rounded rectangle, laid over the content.
    void setStroke(std::optional<QColor> color);
    // A 1-pixel line along one edge.
    void setEdgeLine(Edge edge, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
    qreal m_radius = 0;
    Corners m_corners = Corners::none;
    std::optional<QColor> m_stroke;
    Edge m_edge = Edge::none;
    QColor m_edgeColor;
};

} // namespace quillon
