#include "core/flows/ConnectFlow.h"

#include "core/backend/LinkedInAuthService.h"
#include "core/flows/Attempt.h"
#include "core/storage/LinkedInSessionStore.h"

#include <QPointer>

namespace quillon {

ConnectFlow::ConnectFlow(LinkedInSessionStore& sessionStore, LinkedInAuthService& authService,
                         QObject* parent)
    : QObject(parent)
    , m_sessionStore(sessionStore)
    , m_authService(authService) {}

ConnectFlow::~ConnectFlow() = default;

QCoro::Task<std::optional<QString>> ConnectFlow::connectAndKeep(TelemetrySink telemetry) {
    // The container may go while the sheet is open; nothing is kept into its stores then.
    const QPointer<ConnectFlow> alive(this);
    report(telemetry, AppTelemetryEvent::linkedInConnectStarted);
    QCoro::Task<LinkedInToken> connecting = m_authService.connect();
    const LinkedInToken token = co_await std::move(connecting);
    if (!alive) {
        co_return std::nullopt;
    }
    const TokenSave saved = m_sessionStore.save(token);
    report(telemetry, AppTelemetryEvent::linkedInConnected);
    co_return LinkedInSessionStore::keepingProblem(saved);
}

QCoro::Task<> ConnectFlow::connectLinkedIn(TelemetrySink telemetry) {
    if (m_connecting) {
        co_return;
    }
    const QPointer<ConnectFlow> alive(this);
    setConnecting(true);
    // The session's status line already says when the keyring did not keep the token.
    const Attempt<std::optional<QString>> connected = co_await attempt(connectAndKeep(telemetry));
    if (!alive) {
        co_return;
    }
    if (connected.failure) {
        m_sessionStore.setStatusMessage(*connected.failure);
    }
    setConnecting(false);
}

void ConnectFlow::setConnecting(bool connecting) {
    m_connecting = connecting;
    Q_EMIT connectingChanged(connecting);
}

} // namespace quillon
