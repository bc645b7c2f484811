#pragma once

namespace signalpost {

// Session statistics: the history of sessions and days of use behind the retention figures of
// every signal. Only the entry point a new session ID calls stands so far; the record keeping
// is still to come.
class SessionManager {
public:
    static SessionManager& shared();

    void startNewSession();

private:
    SessionManager() = default;
};

} // namespace signalpost
