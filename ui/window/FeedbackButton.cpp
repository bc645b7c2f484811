#include "ui/window/FeedbackButton.h"

#include "ui/kit/EnterKeyActivation.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <cmath>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {
// One pixel of margin keeps the antialiased edge of the circle inside the shaped widget.
constexpr int margin = 1;
constexpr int side = FeedbackButton::diameter + 2 * margin;
constexpr int symbolSize = 20;
} // namespace

FeedbackButton::FeedbackButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFixedSize(side, side);
    // Clicks beside the circle reach whatever lies under it.
    setMask(QRegion(0, 0, side, side, QRegion::Ellipse));
    setAccessibleName(u"Send feedback"_s);
    setToolTip(u"Send feedback"_s);
    setFocusPolicy(Qt::TabFocus);
    // Round like the button.
    setProperty("focusRingRadius", side / 2.0);
    setCursor(Qt::PointingHandCursor);
    EnterKeyActivation::install(this);
}

QSize FeedbackButton::sizeHint() const {
    return {side, side};
}

void FeedbackButton::setCenter(const QPointF& center) {
    move(qRound(center.x() - side / 2.0), qRound(center.y() - side / 2.0));
}

QPointF FeedbackButton::center() const {
    return QPointF(x() + side / 2.0, y() + side / 2.0);
}

bool FeedbackButton::hitButton(const QPoint& pos) const {
    const QPointF offset = QPointF(pos) - QPointF(side / 2.0, side / 2.0);
    return std::hypot(offset.x(), offset.y()) <= diameter / 2.0;
}

void FeedbackButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isDown() ? Theme::accent().darker(110) : Theme::accent());
    painter.drawEllipse(QRectF(margin, margin, diameter, diameter));
    const QPixmap symbol =
        symbolPixmap(Symbol::ladybug, Qt::white, symbolSize, devicePixelRatioF());
    painter.drawPixmap(
        QRect((side - symbolSize) / 2, (side - symbolSize) / 2, symbolSize, symbolSize), symbol);
}

void FeedbackButton::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && isDown()) {
        m_pressed = true;
        m_dragging = false;
        m_pressLocal = event->position();
        m_pressGlobal = event->globalPosition();
    }
}

void FeedbackButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_pressed) {
        QAbstractButton::mouseMoveEvent(event);
        return;
    }
    if (!m_dragging) {
        // The threshold is measured where the press began, before the button moves at all.
        const QPointF moved = event->position() - m_pressLocal;
        if (std::hypot(moved.x(), moved.y()) < dragThreshold) {
            return;
        }
        m_dragging = true;
        // A drag is never also a tap.
        setDown(false);
    }
    Q_EMIT dragChanged(event->globalPosition() - m_pressGlobal);
}

void FeedbackButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasDragging = m_dragging;
    m_pressed = false;
    m_dragging = false;
    if (wasDragging && event->button() == Qt::LeftButton) {
        Q_EMIT dragEnded();
        return;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

} // namespace quillon
