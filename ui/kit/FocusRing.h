#pragma once

#include <QFocusFrame>
#include <QPointer>

namespace quillon {

// The one keyboard focus indicator of every window: a 2 px ink ring just outside the focused
// control (around the current row of a list), drawn on a window-wide layer of its own so that
// no parent cuts it off. It shows when the focus came from the keyboard (Tab, a shortcut, or
// an action started with a key) and not after a click, like a browser's :focus-visible. Ink
// stands above 15:1 against the card and the page, where the palette's lime stood at 1.3:1.
//
// A control may ask for a rounder ring with the dynamic property "focusRingRadius" (a round
// button); a list whose rows are drawn inset, with "focusRingItemInset"; a field drawn inside a
// box of its own names the box (an ancestor) with "focusRingFrame", to be ringed around it; a
// control drawn without margins asks for room before its ring with "focusRingPadding".
//
// A QFocusFrame, which Qt leaves out of what it shows screen readers (a frame over a control
// would otherwise be found there in its place), but placed and drawn by itself.
class FocusRing : public QFocusFrame {
    Q_OBJECT

public:
    static constexpr int width = 2;
    // Between the control's edge and the ring.
    static constexpr int gap = 1;
    static constexpr qreal defaultRadius = 6;

    // Starts watching the application's focus; once per process, later calls do nothing.
    static void install();
    // The control the ring is around now, else null.
    static QWidget* ringedWidget();

    // The ring's colour against the page, the card and the accent fills.
    static QColor color();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class FocusRingTracker;
    explicit FocusRing(QWidget* window);
    // Around `target` where it shows within its window, or hidden when `target` is null.
    void follow(QWidget* target);

    QPointer<QWidget> m_target;
    qreal m_radius = defaultRadius;
};

} // namespace quillon
