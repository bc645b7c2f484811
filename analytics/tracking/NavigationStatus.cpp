#include "analytics/tracking/NavigationStatus.h"

namespace signalpost {

NavigationStatus& NavigationStatus::shared() {
    static NavigationStatus* const instance = new NavigationStatus();
    return *instance;
}

std::optional<QString> NavigationStatus::previousNavigationPath() const {
    QMutexLocker locker(&m_mutex);
    return m_previousNavigationPath;
}

void NavigationStatus::setPreviousNavigationPath(const std::optional<QString>& path) {
    QMutexLocker locker(&m_mutex);
    m_previousNavigationPath = path;
}

} // namespace signalpost
