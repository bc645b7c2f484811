#pragma once

#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QString>
#include <functional>
#include <optional>

namespace quillon {

class LinkedInAuthService;
class LinkedInSessionStore;

// Connecting the LinkedIn account: the sign-in, keeping the token in the session, and the
// events that mark both, reported to the sink the caller hands in. Cheap to copy; each run
// keeps its own copy, so it ends even when the screen that started it is gone.
class ConnectFlow {
public:
    // Told true when a run starts and false when it ends.
    using Busy = std::function<void(bool)>;

    ConnectFlow(LinkedInSessionStore& sessionStore, LinkedInAuthService& authService);

    // Connects and keeps the token. What the member must be told when the keyring did not
    // keep it, none otherwise. Throws what connecting throws.
    QCoro::Task<std::optional<QString>> connectAndKeep(TelemetrySink telemetry) const;
    // Settings' connect: a failure is said in the session's status line.
    QCoro::Task<> connect(Busy connecting, TelemetrySink telemetry) const;

private:
    static QCoro::Task<std::optional<QString>> runConnectAndKeep(ConnectFlow flow,
                                                                 TelemetrySink telemetry);
    static QCoro::Task<> runConnect(ConnectFlow flow, Busy connecting, TelemetrySink telemetry);

    LinkedInSessionStore& m_sessionStore;
    LinkedInAuthService& m_authService;
};

} // namespace quillon
