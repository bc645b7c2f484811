#include "core/flows/AccountFlow.h"

#include "core/backend/LinkedInAuthService.h"
#include "core/flows/Attempt.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"

namespace quillon {
namespace {

// Why the keyring still holds a token nothing will delete.
QString keyringProblem(TokenDeletion deletion) {
    return deletion == TokenDeletion::keyringLocked ? u"the keyring is locked."_qs
                                                    : u"the keyring does not answer."_qs;
}

void tell(const std::function<void(bool)>& busy, bool running) {
    if (busy) {
        busy(running);
    }
}

// A signed-out page has nothing to ask the backend.
QCoro::Task<> unlessSignedOut(std::optional<QString> memberID,
                              std::function<QCoro::Task<>(QString)> request) {
    if (memberID) {
        QCoro::Task<> requesting = request(*memberID);
        co_await std::move(requesting);
    }
}

} // namespace

AccountFlow::AccountFlow(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                         LinkedInAuthService& authService)
    : m_draftStore(draftStore)
    , m_sessionStore(sessionStore)
    , m_authService(authService) {}

QCoro::Task<> AccountFlow::logOut(Busy loggingOut, Settled settled) const {
    // Read before the request; the store may hold another member by the time it answers.
    return runLogOut(*this, m_sessionStore.memberID(), std::move(loggingOut), std::move(settled));
}

QCoro::Task<> AccountFlow::deleteAccount(Busy deleting, Settled settled,
                                         TelemetrySink telemetry) const {
    return runDeletion(*this, m_sessionStore.memberID(), std::move(deleting), std::move(settled),
                       std::move(telemetry));
}

QCoro::Task<> AccountFlow::runLogOut(AccountFlow flow, std::optional<QString> memberID,
                                     Busy loggingOut, Settled settled) {
    tell(loggingOut, true);
    LinkedInAuthService& auth = flow.m_authService;
    const Attempt<void> disconnected = co_await attempt(
        unlessSignedOut(memberID, [&auth](QString id) { return auth.disconnect(std::move(id)); }));
    if (disconnected.failure) {
        flow.m_sessionStore.setStatusMessage(*disconnected.failure);
        tell(loggingOut, false);
        co_return;
    }
    const TokenDeletion deletion = flow.m_sessionStore.signOut();
    // Signed out only with the token gone or its delete remembered; otherwise the member stays
    // signed in, as the next start would find them, and the page stays open to say why.
    flow.m_sessionStore.setStatusMessage(isSettled(deletion) ? u"Logged out."_qs
                                                             : u"Could not log out: "_qs +
                                                                   keyringProblem(deletion));
    tell(loggingOut, false);
    if (isSettled(deletion) && settled) {
        settled();
    }
}

QCoro::Task<> AccountFlow::runDeletion(AccountFlow flow, std::optional<QString> memberID,
                                       Busy deleting, Settled settled, TelemetrySink telemetry) {
    tell(deleting, true);
    LinkedInAuthService& auth = flow.m_authService;
    const Attempt<void> deleted = co_await attempt(unlessSignedOut(
        memberID, [&auth](QString id) { return auth.deleteAccount(std::move(id)); }));
    if (deleted.failure) {
        flow.m_sessionStore.setStatusMessage(*deleted.failure);
        tell(deleting, false);
        co_return;
    }
    flow.m_draftStore.clearAllLocal(memberID);
    const TokenDeletion deletion = flow.m_sessionStore.forgetAccount();
    auth.setRequiresEphemeralSignIn(true);
    // The account is gone at the backend whatever the keyring did; a token it still holds is
    // said, not hidden behind "Account deleted.".
    flow.m_sessionStore.setStatusMessage(
        isSettled(deletion) ? u"Account deleted."_qs
                            : u"Account deleted, but its token stays in the keyring: "_qs +
                                  keyringProblem(deletion));
    tell(deleting, false);
    report(telemetry, AppTelemetryEvent::accountDeleted);
    if (isSettled(deletion) && settled) {
        settled();
    }
}

} // namespace quillon
