#include "core/flows/ConnectFlow.h"

#include "core/backend/LinkedInAuthService.h"
#include "core/flows/Attempt.h"
#include "core/storage/LinkedInSessionStore.h"

namespace quillon {

ConnectFlow::ConnectFlow(LinkedInSessionStore& sessionStore, LinkedInAuthService& authService)
    : m_sessionStore(sessionStore)
    , m_authService(authService) {}

QCoro::Task<std::optional<QString>> ConnectFlow::connectAndKeep(TelemetrySink telemetry) const {
    return runConnectAndKeep(*this, std::move(telemetry));
}

QCoro::Task<> ConnectFlow::connect(Busy connecting, TelemetrySink telemetry) const {
    return runConnect(*this, std::move(connecting), std::move(telemetry));
}

QCoro::Task<std::optional<QString>> ConnectFlow::runConnectAndKeep(ConnectFlow flow,
                                                                   TelemetrySink telemetry) {
    report(telemetry, AppTelemetryEvent::linkedInConnectStarted);
    QCoro::Task<LinkedInToken> connecting = flow.m_authService.connect();
    const LinkedInToken token = co_await std::move(connecting);
    const TokenSave saved = flow.m_sessionStore.save(token);
    report(telemetry, AppTelemetryEvent::linkedInConnected);
    co_return LinkedInSessionStore::keepingProblem(saved);
}

QCoro::Task<> ConnectFlow::runConnect(ConnectFlow flow, Busy connecting, TelemetrySink telemetry) {
    if (connecting) {
        connecting(true);
    }
    // The session's status line already says when the keyring did not keep the token.
    const Attempt<std::optional<QString>> connected =
        co_await attempt(flow.connectAndKeep(telemetry));
    if (connected.failure) {
        flow.m_sessionStore.setStatusMessage(*connected.failure);
    }
    if (connecting) {
        connecting(false);
    }
}

} // namespace quillon
