#include "analytics/tracking/TrackNavigationModifier.h"

#include "analytics/base/FacadeCalls.h"

#include <QEvent>

namespace signalpost {

TrackNavigationModifier::TrackNavigationModifier(QObject* watched, QString path)
    : QObject(watched)
    , m_path(std::move(path)) {
    watched->installEventFilter(this);
}

bool TrackNavigationModifier::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Show) {
        facade::navigationPathChanged(m_path);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace signalpost
