#pragma once

#include <memory>

namespace signalpost {

class TelemetryManager;

// The process-wide slot holding the current manager: shared reads, exclusive writes.
class TelemetryManagerStorage {
public:
    static std::shared_ptr<TelemetryManager> manager();
    // Returns the manager it replaces so that the caller destroys it outside the lock.
    static std::shared_ptr<TelemetryManager> exchange(std::shared_ptr<TelemetryManager> manager);

    TelemetryManagerStorage() = delete;
};

} // namespace signalpost
