#pragma once

#include <QMutex>
#include <QString>
#include <optional>

namespace signalpost {

// Where the last reported navigation went, so that a caller may report only the destination.
// Kept for the process only.
class NavigationStatus {
public:
    static NavigationStatus& shared();

    NavigationStatus() = default;
    NavigationStatus(const NavigationStatus&) = delete;
    NavigationStatus& operator=(const NavigationStatus&) = delete;

    std::optional<QString> previousNavigationPath() const;
    void setPreviousNavigationPath(const std::optional<QString>& path);

private:
    // Reports may come from any thread.
    mutable QMutex m_mutex;
    std::optional<QString> m_previousNavigationPath;
};

} // namespace signalpost
