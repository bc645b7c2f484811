#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QFocusEvent;
class QKeyEvent;
class QWidget;

namespace quillon {

class FocusRing;

// Watches the application's input and focus for the focus ring: which control has the focus,
// whether a key or the pointer came last, and every move of the control or its parents that
// moves the ring. One per application, made on first use.
class FocusRingTracker : public QObject {
public:
    static FocusRingTracker& instance();

    // The control the ring is around now, else null.
    QWidget* ringed() const { return m_shown ? m_focus.data() : nullptr; }
    // Places or hides each window's ring for the focus as it is now.
    void refresh();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit FocusRingTracker(QObject* parent);
    void keyPressed(const QKeyEvent* event);
    void focusIn(QWidget* widget, const QFocusEvent* event);
    void setFocus(QWidget* widget, bool shown);
    FocusRing* ringFor(QWidget* window);

    QPointer<QWidget> m_focus;
    bool m_shown = false;
    bool m_keyboard = false;
    QList<QPointer<FocusRing>> m_rings;
    QMetaObject::Connection m_viewConnection;
    QMetaObject::Connection m_scrollConnection;
};

} // namespace quillon
