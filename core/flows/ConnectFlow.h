#pragma once

#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <optional>

namespace quillon {

class LinkedInAuthService;
class LinkedInSessionStore;

// Connecting the LinkedIn account: the sign-in, keeping the token in the session, and the
// events that mark both, reported to the sink the caller hands in. Settings' connect is told
// by `connecting`; the container owns the flow, so a run ends even when its screen is gone.
class ConnectFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool connecting READ isConnecting NOTIFY connectingChanged)

public:
    ConnectFlow(LinkedInSessionStore& sessionStore, LinkedInAuthService& authService,
                QObject* parent = nullptr);
    ~ConnectFlow() override;

    bool isConnecting() const { return m_connecting; }

    // Connects and keeps the token. What the member must be told when the keyring did not
    // keep it, none otherwise. Throws what connecting throws. Leaves `connecting` alone: the
    // post that connects first tells its own state.
    QCoro::Task<std::optional<QString>> connectAndKeep(TelemetrySink telemetry);
    // Settings' connect: a failure is said in the session's status line. Ignored while one
    // runs.
    QCoro::Task<> connectLinkedIn(TelemetrySink telemetry);

Q_SIGNALS:
    void connectingChanged(bool connecting);

private:
    void setConnecting(bool connecting);

    LinkedInSessionStore& m_sessionStore;
    LinkedInAuthService& m_authService;
    bool m_connecting = false;
};

} // namespace quillon
