#pragma once

#include <QWidget>

#include <optional>

namespace quillon {

class DraftStore;
class LinkedInSessionStore;
class LinkedInAuthService;
class LinkedInPostService;
class FeedbackService;

// The root of the window. Ties the drafts to the connected member: the owner is set when the
// window is shown and whenever the member changes.
class MainSplitView : public QWidget {
    Q_OBJECT

public:
    MainSplitView(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                  LinkedInAuthService& authService, LinkedInPostService& postService,
                  FeedbackService& feedbackService, QWidget* parent = nullptr);

    void syncDraftOwner();
    void memberIDChanged(const std::optional<QString>& memberID);

protected:
    void showEvent(QShowEvent* event) override;

private:
    DraftStore& m_draftStore;
    LinkedInSessionStore& m_sessionStore;
    LinkedInAuthService& m_authService;
    LinkedInPostService& m_postService;
    FeedbackService& m_feedbackService;
    bool m_shown = false;
    std::optional<QString> m_lastMemberID;
};

} // namespace quillon
