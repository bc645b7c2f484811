#pragma once

#include <QAbstractButton>
#include <QPointF>

namespace quillon {

// The floating round "Send feedback" button. A press that moves less than dragThreshold is a
// tap (clicked()); a longer move is a drag, reported as the pointer's translation since the
// press, in the coordinates of the screen so the moving button does not disturb it.
class FeedbackButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int diameter = 52;
    static constexpr qreal dragThreshold = 10;

    explicit FeedbackButton(QWidget* parent = nullptr);

    // Places the circle's centre at `center`, in the parent's coordinates.
    void setCenter(const QPointF& center);
    QPointF center() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void dragChanged(QPointF translation);
    void dragEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QPointF m_pressLocal;
    QPointF m_pressGlobal;
    bool m_pressed = false;
    bool m_dragging = false;
};

} // namespace quillon
