#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/kit/FocusReturn.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QPushButton;
class QVBoxLayout;

namespace quillon {

class AccountDetailView;
class AccountFlow;
class ConnectFlow;
class FeedbackFlow;
class LinkedInSessionStore;
class NavigationStack;
class PrimaryButton;
class StatusLine;

// The Settings pane, the root of its own navigation: "Connect LinkedIn" while signed out; once
// connected the community link, "Send feedback" and the round "Account" button that opens the
// account page. A connect runs to its end even when the pane goes.
class AccountSettingsView : public QWidget {
    Q_OBJECT

public:
    // Without a feedback flow the "Send feedback" row is absent.
    AccountSettingsView(LinkedInSessionStore& sessionStore, ConnectFlow& connectFlow,
                        AccountFlow& accountFlow, FeedbackFlow* feedbackFlow,
                        TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);
    ~AccountSettingsView() override;

    bool isConnecting() const;
    bool showsFeedback() const { return m_showsFeedback; }

    NavigationStack* navigation() const { return m_navigation; }
    // The pushed account page, else null.
    AccountDetailView* accountPage() const;
    // The sheet once opened; it stays after closing, keeping the form's contents.
    FeedbackSheet* feedbackSheet() const { return m_feedbackSheet; }
    // Where the sheet comes from: the window's own one, so that the form's contents outlive
    // this pane. Without one the pane makes its own.
    void setFeedbackSheetSource(std::function<FeedbackSheet*()> source) {
        m_feedbackSheetSource = std::move(source);
    }

    // Starts the connection and returns at once; a second one cannot start while it runs.
    void connectLinkedIn();
    void openFeedback();
    void openAccount();
    void openCommunity();

Q_SIGNALS:
    void isConnectingChanged(bool connecting);
    void showsFeedbackChanged(bool shown);

private:
    QWidget* rootPage();
    void refresh();
    void refreshStatus();
    void connectingDidChange(bool connecting);
    void setShowsFeedback(bool shown);

    LinkedInSessionStore& m_sessionStore;
    ConnectFlow& m_connectFlow;
    AccountFlow& m_accountFlow;
    FeedbackFlow* const m_feedbackFlow;
    const TelemetrySink m_telemetry;
    bool m_showsFeedback = false;

    QPushButton* m_accountButton = nullptr;
    QPushButton* m_communityRow = nullptr;
    QPushButton* m_feedbackRow = nullptr;
    PrimaryButton* m_connectButton = nullptr;
    StatusLine* m_status = nullptr;
    NavigationStack* m_navigation;
    QPointer<FeedbackSheet> m_feedbackSheet;
    std::function<FeedbackSheet*()> m_feedbackSheetSource;
    FocusReturn m_connectFocus;
};

} // namespace quillon
