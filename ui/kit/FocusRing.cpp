#include "ui/kit/FocusRing.h"

#include "ui/theme/Theme.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace quillon {

// Watches the application's input and focus: which control has the focus, whether a key or
// the pointer came last, and every move of the control or its parents that moves the ring.
class FocusRingTracker : public QObject {
public:
    static FocusRingTracker& instance() {
        static FocusRingTracker* tracker = new FocusRingTracker(qApp);
        return *tracker;
    }

    QWidget* ringed() const { return m_shown ? m_focus.data() : nullptr; }

    bool eventFilter(QObject* watched, QEvent* event) override {
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
            if (m_focus && watched->isWidgetType() &&
                (watched == m_focus ||
                 static_cast<QWidget*>(watched)->isAncestorOf(m_focus.data()))) {
                refresh();
            }
            break;
        default:
            break;
        }
        return false;
    }

    void refresh() {
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

private:
    explicit FocusRingTracker(QObject* parent)
        : QObject(parent) {
        qApp->installEventFilter(this);
    }

    void keyPressed(const QKeyEvent* event) {
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

    void focusIn(QWidget* widget, const QFocusEvent* event) {
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

    void setFocus(QWidget* widget, bool shown) {
        if (widget != m_focus) {
            disconnect(m_viewConnection);
            disconnect(m_scrollConnection);
            if (auto* view = qobject_cast<QAbstractItemView*>(widget);
                view && view->selectionModel()) {
                m_viewConnection =
                    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                            [this] { refresh(); });
                m_scrollConnection = connect(view->verticalScrollBar(), &QScrollBar::valueChanged,
                                             this, [this] { refresh(); });
            }
        }
        m_focus = widget;
        m_shown = shown;
        refresh();
    }

    FocusRing* ringFor(QWidget* window) {
        for (const QPointer<FocusRing>& ring : std::as_const(m_rings)) {
            if (ring && ring->parentWidget() == window) {
                return ring;
            }
        }
        auto* ring = new FocusRing(window);
        m_rings.append(ring);
        return ring;
    }

    QPointer<QWidget> m_focus;
    bool m_shown = false;
    bool m_keyboard = false;
    QList<QPointer<FocusRing>> m_rings;
    QMetaObject::Connection m_viewConnection;
    QMetaObject::Connection m_scrollConnection;
};

void FocusRing::install() {
    FocusRingTracker::instance();
}

QWidget* FocusRing::ringedWidget() {
    return FocusRingTracker::instance().ringed();
}

QColor FocusRing::color() {
    return Theme::ink();
}

FocusRing::FocusRing(QWidget* window)
    : QFocusFrame(window) {
    setObjectName(u"focusRing"_qs);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void FocusRing::follow(QWidget* target) {
    m_target = target;
    if (!target) {
        hide();
        return;
    }
    QWidget* window = parentWidget();
    constexpr int outset = gap + width;
    // Around the current row of a list; else around the control.
    QRect around = target->rect();
    QWidget* frame = target;
    if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
        const QModelIndex current = view->currentIndex();
        if (current.isValid()) {
            const int inset = view->property("focusRingItemInset").toInt();
            // Inside the row, which reaches the list's edges.
            around = view->visualRect(current).adjusted(inset + outset, 0, -inset - outset, 0);
            frame = view->viewport();
        }
    }
    QRect ring = QRect(frame->mapTo(window, around.topLeft()), around.size())
                     .adjusted(-outset, -outset, outset, outset);
    // Not over what a scrolled pane hides: inside each scrolling viewport on the way up.
    QRegion visible(ring);
    for (QWidget* w = frame; w && w != window; w = w->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget());
            area && area->viewport() == w) {
            const QRect port(w->mapTo(window, QPoint()), w->size());
            visible &= port.adjusted(-outset, -outset, outset, outset);
        }
    }
    if (visible.isEmpty()) {
        hide();
        return;
    }
    const QVariant radius = target->property("focusRingRadius");
    m_radius = radius.isValid() ? radius.toReal() + outset : defaultRadius;
    setGeometry(ring);
    // Only the band of the ring: the control under it repaints without this layer.
    const QRect local(QPoint(), ring.size());
    const int band = width + 1;
    QRegion mask = QRegion(local) - QRegion(local.adjusted(band, band, -band, -band));
    if (m_radius > band + 1) {
        // The corners' curve lies inside the band's square corners.
        mask += QRect(0, 0, int(m_radius), int(m_radius));
        mask += QRect(local.width() - int(m_radius), 0, int(m_radius), int(m_radius));
        mask += QRect(0, local.height() - int(m_radius), int(m_radius), int(m_radius));
        mask += QRect(local.width() - int(m_radius), local.height() - int(m_radius), int(m_radius),
                      int(m_radius));
    }
    setMask(mask & visible.translated(-ring.topLeft()));
    show();
    raise();
    update();
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Half the pen inside the edge, so the stroke covers whole pixels at 1x and at 2x.
    const qreal half = width / 2.0;
    const QRectF path = QRectF(rect()).adjusted(half, half, -half, -half);
    const qreal radius = std::min({m_radius - half, path.width() / 2, path.height() / 2});
    painter.setPen(QPen(color(), width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(path, radius, radius);
}

} // namespace quillon
