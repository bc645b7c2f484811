#include "MainSplitView.h"

#include "DraftStore.h"
#include "LinkedInSessionStore.h"

#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace quillon {

MainSplitView::MainSplitView(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                             LinkedInAuthService& authService, LinkedInPostService& postService,
                             FeedbackService& feedbackService, QWidget* parent)
    : QWidget(parent)
    , m_draftStore(draftStore)
    , m_sessionStore(sessionStore)
    , m_authService(authService)
    , m_postService(postService)
    , m_feedbackService(feedbackService)
{
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Quillon"), this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);

    connect(&m_sessionStore, &LinkedInSessionStore::tokenChanged, this, [this] {
        const std::optional<QString> memberID = m_sessionStore.memberID();
        if (m_shown && memberID != m_lastMemberID) {
            m_lastMemberID = memberID;
            memberIDChanged(memberID);
        }
    });
}

void MainSplitView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_shown = true;
        m_lastMemberID = m_sessionStore.memberID();
        syncDraftOwner();
    }
}

void MainSplitView::syncDraftOwner()
{
    m_draftStore.setOwner(m_sessionStore.memberID());
}

void MainSplitView::memberIDChanged(const std::optional<QString>& memberID)
{
    // Compared with the store's owner, not with the previous ID: setOwner does exactly that.
    m_draftStore.setOwner(memberID);
}

} // namespace quillon
