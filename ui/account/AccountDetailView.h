#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"
#include "ui/account/DeleteAccountDialog.h"
#include "ui/kit/FocusReturn.h"

#include <QDate>
#include <QLocale>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QVBoxLayout;

namespace quillon {

class AccountFlow;
class LinkedInSessionStore;
class SecondaryButton;
class StatusLine;
class Surface;

// The account page: who is connected and since when, the last account outcome, "Log out", and
// at the bottom "Delete account" behind a confirmation. A successful request removes what
// belongs to the account locally and closes the page; a failed one only shows its message.
class AccountDetailView : public QWidget {
    Q_OBJECT

public:
    AccountDetailView(LinkedInSessionStore& sessionStore, AccountFlow& accountFlow,
                      TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);
    ~AccountDetailView() override;

    // What closes the page after a successful request. A request that ends after the page is
    // gone still updates the stores but closes nothing.
    void setDismiss(std::function<void()> dismiss) { m_dismiss = std::move(dismiss); }

    bool isLoggingOut() const;
    bool isDeletingAccount() const;
    bool showsDeleteConfirmation() const { return m_showsDeleteConfirmation; }
    // The open confirmation, else null.
    DeleteAccountDialog* deleteConfirmation() const { return m_confirmation; }

    void logOut();
    // The bottom button's action: asks first.
    void confirmDeletion();
    void deleteAccount();

    // "Registered " and the date in `locale`'s numeric style with the whole year
    // ("Registered 3/14/2025" in American English), in the local time zone.
    static QString registeredText(const QDateTime& connectedAt, const QLocale& locale = QLocale());
    static QString numericDate(QDate date, const QLocale& locale = QLocale());

Q_SIGNALS:
    void busyChanged();

private:
    void refreshCard();
    void refreshStatus();
    void refreshBottomBar();
    void refreshButtons();
    void busyDidChange();
    // What ends a request that settled the account: closes the page.
    void dismissIfShown();
    QWidget* profileBlock();

    LinkedInSessionStore& m_sessionStore;
    AccountFlow& m_accountFlow;
    const TelemetrySink m_telemetry;
    std::function<void()> m_dismiss;
    bool m_showsDeleteConfirmation = false;

    QVBoxLayout* m_cardColumn;
    Surface* m_card;
    QWidget* m_cardContent = nullptr;
    SecondaryButton* m_logOutButton = nullptr;
    StatusLine* m_status;
    Surface* m_bottomBar;
    SecondaryButton* m_deleteButton;
    QPointer<DeleteAccountDialog> m_confirmation;
    FocusReturn m_buttonsFocus;
};

} // namespace quillon
