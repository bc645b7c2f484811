#include "SessionManager.h"

namespace signalpost {

SessionManager& SessionManager::shared() {
    static SessionManager instance;
    return instance;
}

void SessionManager::startNewSession() {
    // Nothing is recorded yet; the configuration already calls this at every session start
    // so that statistics need no change elsewhere when they arrive.
}

} // namespace signalpost
