#include "ui/kit/FocusRingTracker.h"

#include "ui/kit/FocusRing.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScrollBar>

namespace quillon {

FocusRingTracker& FocusRingTracker::instance() {
    static FocusRingTracker* tracker = new FocusRingTracker(qApp);
    return *tracker;
}

FocusRingTracker::FocusRingTracker(QObject* parent)
    : QObject(parent) {
    qApp->installEventFilter(this);
}

bool FocusRingTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        keyPressed(static_cast<QKeyEvent*>(event));
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::TouchBegin:
        m_keyboard = false;
        // The pointer on the ringed control itself: it is being used by pointer now.
        if (m_shown && m_focus && watched->isWidgetType() &&
            (watched == m_focus || m_focus->isAncestorOf(static_cast<QWidget*>(watched)))) {
            setFocus(m_focus, false);
        }
        break;
    case QEvent::FocusIn:
        if (watched->isWidgetType()) {
            focusIn(static_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event));
        }
        break;
    case QEvent::FocusOut:
        if (watched == m_focus && !static_cast<QWidget*>(watched)->hasFocus()) {
            // Kept for a return with the window (ActiveWindowFocusReason).
            refresh();
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
        // A hidden ring stays hidden wherever its control moves: no walk up the parents then.
        if (m_shown && m_focus && watched->isWidgetType() &&
            (watched == m_focus || static_cast<QWidget*>(watched)->isAncestorOf(m_focus.data()))) {
            refresh();
        }
        break;
    default:
        break;
    }
    return false;
}

void FocusRingTracker::refresh() {
    QWidget* focus = m_focus;
    const bool shows = focus && m_shown && focus->hasFocus() && focus->isVisible();
    for (auto it = m_rings.begin(); it != m_rings.end();) {
        if (!*it) {
            it = m_rings.erase(it);
            continue;
        }
        if (!shows || (*it)->parentWidget() != focus->window()) {
            (*it)->follow(nullptr);
        }
        ++it;
    }
    if (shows) {
        ringFor(focus->window())->follow(focus);
    }
}

void FocusRingTracker::keyPressed(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
        return;
    default:
        break;
    }
    m_keyboard = true;
    // A key used on a clicked control shows where the keyboard is, unless it is typing.
    QWidget* focus = QApplication::focusWidget();
    if (focus && !m_shown && !focus->testAttribute(Qt::WA_InputMethodEnabled)) {
        setFocus(focus, true);
    }
}

void FocusRingTracker::focusIn(QWidget* widget, const QFocusEvent* event) {
    if (qobject_cast<FocusRing*>(widget)) {
        return;
    }
    if (widget->focusPolicy() == Qt::NoFocus) {
        // A container holding the focus while its control is busy: no control to ring.
        setFocus(widget, false);
        return;
    }
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        setFocus(widget, true);
        break;
    case Qt::MouseFocusReason:
        setFocus(widget, false);
        break;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
        // Back with its window: as it was when the window was left.
        setFocus(widget, widget == m_focus ? m_shown : m_keyboard);
        break;
    default:
        // Moved by the program after an action: shown if a key started it.
        setFocus(widget, m_keyboard);
        break;
    }
}

void FocusRingTracker::setFocus(QWidget* widget, bool shown) {
    if (widget != m_focus) {
        disconnect(m_viewConnection);
        disconnect(m_scrollConnection);
        if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->selectionModel()) {
            m_viewConnection = connect(view->selectionModel(), &QItemSelectionModel::currentChanged,
                                       this, [this] { refresh(); });
            m_scrollConnection = connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
                                         [this] { refresh(); });
        }
    }
    m_focus = widget;
    m_shown = shown;
    refresh();
}

FocusRing* FocusRingTracker::ringFor(QWidget* window) {
    for (const QPointer<FocusRing>& ring : std::as_const(m_rings)) {
        if (ring && ring->parentWidget() == window) {
            return ring;
        }
    }
    auto* ring = new FocusRing(window);
    m_rings.append(ring);
    return ring;
}

} // namespace quillon
