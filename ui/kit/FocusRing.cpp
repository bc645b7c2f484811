#include "ui/kit/FocusRing.h"

#include "ui/kit/FocusRingTracker.h"
#include "ui/theme/Theme.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace quillon {

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
    setObjectName(u"focusRing"_s);
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
    // A field drawn inside a box of its own is ringed around the box.
    if (auto* box = qobject_cast<QWidget*>(target->property("focusRingFrame").value<QObject*>());
        box && box->isAncestorOf(target)) {
        around = box->rect();
        frame = box;
    } else if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
        const QModelIndex current = view->currentIndex();
        if (current.isValid()) {
            const int inset = view->property("focusRingItemInset").toInt();
            // Inside the row, which reaches the list's edges.
            around = view->visualRect(current).adjusted(inset + outset, 0, -inset - outset, 0);
            frame = view->viewport();
        }
    }
    // Room of its own between a control drawn without margins (a text link) and its ring.
    const int padding = target->property("focusRingPadding").toInt();
    around.adjust(-padding, -padding, padding, padding);
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
