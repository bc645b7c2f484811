#pragma once

#include "core/model/TelemetrySink.h"

#include <QCoroTask>
#include <QObject>

namespace quillon {

class DraftStore;
class LinkedInAuthService;
class LinkedInSessionStore;

// Logging out and deleting the account: the backend request, then what belongs to the member
// locally; the outcome goes to the session's status line. One request at a time; the
// container owns the flow, so a run ends even when the page that started it is gone.
class AccountFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loggingOut READ isLoggingOut NOTIFY loggingOutChanged)
    Q_PROPERTY(bool deletingAccount READ isDeletingAccount NOTIFY deletingAccountChanged)

public:
    AccountFlow(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                LinkedInAuthService& authService, QObject* parent = nullptr);
    ~AccountFlow() override;

    bool isLoggingOut() const { return m_loggingOut; }
    bool isDeletingAccount() const { return m_deletingAccount; }
    bool isBusy() const { return m_loggingOut || m_deletingAccount; }

    // Both act on the member connected now, and are ignored while either runs.
    QCoro::Task<> logOut();
    // The deletion's event goes to `telemetry`.
    QCoro::Task<> deleteAccount(TelemetrySink telemetry);

Q_SIGNALS:
    void loggingOutChanged(bool loggingOut);
    void deletingAccountChanged(bool deletingAccount);
    // The run settled the account locally, so the page that shows it can close.
    void settled();

private:
    void setLoggingOut(bool loggingOut);
    void setDeletingAccount(bool deletingAccount);

    DraftStore& m_draftStore;
    LinkedInSessionStore& m_sessionStore;
    LinkedInAuthService& m_authService;
    bool m_loggingOut = false;
    bool m_deletingAccount = false;
};

} // namespace quillon
