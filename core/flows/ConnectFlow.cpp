#include "core/flows/ConnectFlow.h"

#include "core/backend/LinkedInAuthService.h"
#include "core/flows/Attempt.h"
#include "core/storage/LinkedInSessionStore.h"

namespace quillon {

ConnectFlow::ConnectFlow(LinkedInSessionStore& sessionStore, LinkedInAuthService& authService,
                         TelemetrySink telemetry)
    : m_sessionStore(sessionStore)
    , m_authService(authService)
    , m_telemetry(std::move(telemetry)) {}

QCoro::Task<std::optional<QString>> ConnectFlow::connectAndKeep() const {
    return runConnectAndKeep(*this);
}

QCoro::Task<> ConnectFlow::connect(Busy connecting) const {
    return runConnect(*this, std::move(connecting));
}

QCoro::Task<std::optional<QString>> ConnectFlow::runConnectAndKeep(ConnectFlow flow) {
    report(flow.m_telemetry, AppTelemetryEvent::linkedInConnectStarted);
    QCoro::Task<LinkedInToken> connecting = flow.m_authService.connect();
    const LinkedInToken token = co_await std::move(connecting);
    const TokenSave saved = flow.m_sessionStore.save(token);
    report(flow.m_telemetry, AppTelemetryEvent::linkedInConnected);
    co_return LinkedInSessionStore::keepingProblem(saved);
}

QCoro::Task<> ConnectFlow::runConnect(ConnectFlow flow, Busy connecting) {
    if (connecting) {
        connecting(true);
    }
    // The session's status line already says when the keyring did not keep the token.
    const Attempt<std::optional<QString>> connected = co_await attempt(flow.connectAndKeep());
    if (connected.failure) {
        flow.m_sessionStore.setStatusMessage(*connected.failure);
    }
    if (connecting) {
        connecting(false);
    }
}

} // namespace quillon
