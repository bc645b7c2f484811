#include "analytics/client/TelemetryManagerStorage.h"

#include "analytics/client/TelemetryManager.h"

#include <QReadWriteLock>

namespace signalpost {
namespace {

struct Slot {
    QReadWriteLock lock;
    std::shared_ptr<TelemetryManager> manager;
};

Slot& slot() {
    static Slot instance;
    return instance;
}

} // namespace

std::shared_ptr<TelemetryManager> TelemetryManagerStorage::manager() {
    Slot& s = slot();
    QReadLocker locker(&s.lock);
    return s.manager;
}

std::shared_ptr<TelemetryManager>
TelemetryManagerStorage::exchange(std::shared_ptr<TelemetryManager> manager) {
    Slot& s = slot();
    QWriteLocker locker(&s.lock);
    std::swap(s.manager, manager);
    return manager;
}

} // namespace signalpost
