#include "core/flows/AccountFlow.h"

#include "core/backend/LinkedInAuthService.h"
#include "core/flows/Attempt.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

// Why the keyring still holds a token nothing will delete.
QString keyringProblem(TokenDeletion deletion) {
    return deletion == TokenDeletion::keyringLocked ? u"the keyring is locked."_s
                                                    : u"the keyring does not answer."_s;
}

} // namespace

AccountFlow::AccountFlow(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                         LinkedInAuthService& authService, QObject* parent)
    : QObject(parent)
    , m_draftStore(draftStore)
    , m_sessionStore(sessionStore)
    , m_authService(authService) {}

AccountFlow::~AccountFlow() = default;

QCoro::Task<> AccountFlow::logOut() {
    if (isBusy()) {
        co_return;
    }
    // The container may go while the request is out; its stores are gone with it then.
    const QPointer<AccountFlow> alive(this);
    // Read before the request; the store may hold another member by the time it answers.
    const std::optional<QString> memberID = m_sessionStore.memberID();
    setLoggingOut(true);
    // A signed-out page has nothing to ask the backend.
    Attempt<void> disconnected;
    if (memberID) {
        disconnected = co_await attempt(m_authService.disconnect(*memberID));
    }
    if (!alive) {
        co_return;
    }
    if (disconnected.failure) {
        m_sessionStore.setStatusMessage(*disconnected.failure);
        setLoggingOut(false);
        co_return;
    }
    const TokenDeletion deletion = m_sessionStore.signOut();
    // Signed out only with the token gone or its delete remembered; otherwise the member stays
    // signed in, as the next start would find them, and the page stays open to say why.
    m_sessionStore.setStatusMessage(isSettled(deletion)
                                        ? u"Logged out."_s
                                        : u"Could not log out: "_s + keyringProblem(deletion));
    setLoggingOut(false);
    if (isSettled(deletion)) {
        Q_EMIT settled();
    }
}

QCoro::Task<> AccountFlow::deleteAccount(TelemetrySink telemetry) {
    if (isBusy()) {
        co_return;
    }
    const QPointer<AccountFlow> alive(this);
    const std::optional<QString> memberID = m_sessionStore.memberID();
    setDeletingAccount(true);
    Attempt<void> deleted;
    if (memberID) {
        deleted = co_await attempt(m_authService.deleteAccount(*memberID));
    }
    if (!alive) {
        co_return;
    }
    if (deleted.failure) {
        m_sessionStore.setStatusMessage(*deleted.failure);
        setDeletingAccount(false);
        co_return;
    }
    m_draftStore.clearAllLocal(memberID);
    const TokenDeletion deletion = m_sessionStore.forgetAccount();
    m_authService.setRequiresEphemeralSignIn(true);
    // The account is gone at the backend whatever the keyring did; a token it still holds is
    // said, not hidden behind "Account deleted.".
    m_sessionStore.setStatusMessage(
        isSettled(deletion) ? u"Account deleted."_s
                            : u"Account deleted, but its token stays in the keyring: "_s +
                                  keyringProblem(deletion));
    setDeletingAccount(false);
    report(telemetry, AppTelemetryEvent::accountDeleted);
    if (isSettled(deletion)) {
        Q_EMIT settled();
    }
}

void AccountFlow::setLoggingOut(bool loggingOut) {
    m_loggingOut = loggingOut;
    Q_EMIT loggingOutChanged(loggingOut);
}

void AccountFlow::setDeletingAccount(bool deletingAccount) {
    m_deletingAccount = deletingAccount;
    Q_EMIT deletingAccountChanged(deletingAccount);
}

} // namespace quillon
