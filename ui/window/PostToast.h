#pragma once

#include <QWidget>

class QGraphicsDropShadowEffect;
class QPropertyAnimation;

namespace quillon {

// The short-lived "Posted to LinkedIn" capsule at the top centre of the window, with a line of
// detail under it when there is more to say. It fades in while moving down from the top edge,
// and leaves the same way. Screen readers hear it, detail included, as a notification when it
// appears.
class PostToast : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("accessibleRole", "notification")
    Q_PROPERTY(qreal progress READ progress WRITE setProgress)

public:
    static constexpr int enterMilliseconds = 200;
    static constexpr int leaveMilliseconds = 400;

    explicit PostToast(QWidget* parent);

    QString text() const { return m_text; }
    // Empty for none; set before present(). Wrapped to the window's width.
    void setDetail(const QString& detail);
    const QString& detail() const { return m_detail; }
    void present();
    void dismiss();

    // Centres the toast horizontally in its parent; called when the parent's size changes.
    void place();

    // 0 is gone above the top edge and transparent, 1 in place and opaque.
    qreal progress() const { return m_progress; }
    void setProgress(qreal progress);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void animateTo(qreal target, int milliseconds);
    QFont detailFont() const;
    // Where the detail is painted, wrapped, its top left at the origin.
    QRect detailBounds() const;

    const QString m_text;
    QString m_detail;
    QGraphicsDropShadowEffect* m_shadow;
    QPropertyAnimation* m_animation = nullptr;
    qreal m_progress = 0;
    bool m_presented = false;
};

} // namespace quillon
