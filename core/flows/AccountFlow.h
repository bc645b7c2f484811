#pragma once

#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QString>
#include <functional>
#include <optional>

namespace quillon {

class DraftStore;
class LinkedInAuthService;
class LinkedInSessionStore;

// Logging out and deleting the account: the backend request, then what belongs to the member
// locally; the outcome goes to the session's status line. Cheap to copy; each run keeps its
// own copy, so it ends even when the page that started it is gone.
class AccountFlow {
public:
    // Told true when a run starts and false when it ends.
    using Busy = std::function<void(bool)>;
    // Told when the run settled the account locally, so the page that asked can close.
    using Settled = std::function<void()>;

    AccountFlow(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                LinkedInAuthService& authService);

    // Both act on the member connected now.
    QCoro::Task<> logOut(Busy loggingOut, Settled settled) const;
    // The deletion's event goes to `telemetry`.
    QCoro::Task<> deleteAccount(Busy deleting, Settled settled, TelemetrySink telemetry) const;

private:
    static QCoro::Task<> runLogOut(AccountFlow flow, std::optional<QString> memberID,
                                   Busy loggingOut, Settled settled);
    static QCoro::Task<> runDeletion(AccountFlow flow, std::optional<QString> memberID,
                                     Busy deleting, Settled settled, TelemetrySink telemetry);

    DraftStore& m_draftStore;
    LinkedInSessionStore& m_sessionStore;
    LinkedInAuthService& m_authService;
};

} // namespace quillon
