#include "ui/window/CurrentItemAnnouncer.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QEvent>
#include <QTimer>

namespace quillon {

void CurrentItemAnnouncer::install(QAbstractItemView* view) {
    view->installEventFilter(new CurrentItemAnnouncer(view));
}

CurrentItemAnnouncer::CurrentItemAnnouncer(QAbstractItemView* view)
    : QObject(view)
    , m_view(view) {}

bool CurrentItemAnnouncer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view && event->type() == QEvent::FocusIn && QAccessible::isActive()) {
        // After the list's own focus event, which Qt sends once the focus-in is handled.
        QTimer::singleShot(0, this, &CurrentItemAnnouncer::announce);
    }
    return false;
}

void CurrentItemAnnouncer::announce() {
    const QModelIndex current = m_view->currentIndex();
    if (!m_view->hasFocus() || !current.isValid()) {
        return;
    }
    // A list's accessible children are its rows, one per row of its single column.
    QAccessibleEvent event(m_view, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
}

} // namespace quillon
