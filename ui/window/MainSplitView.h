#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"
#include "ui/feedback/FeedbackSheet.h"

#include <QDialog>
#include <QItemSelection>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QListWidget;
class QSplitter;

namespace quillon {

class AccountFlow;
class ConnectFlow;
class DraftStore;
class FeedbackButton;
class FeedbackSheet;
class FeedbackFlow;
class LinkedInSessionStore;
class PostFlow;
class PostToast;

// The root of the window: the sidebar with its four sections beside the selected pane, the
// floating feedback button and the "Posted to LinkedIn" toast over both, and the feedback
// sheet. It also ties the drafts to the connected member: the owner is set when the window is
// shown and whenever the member changes.
class MainSplitView : public QWidget {
    Q_OBJECT

public:
    enum class Section { insights, drafts, editor, settings };
    Q_ENUM(Section)

    static constexpr std::chrono::milliseconds postToastDuration{1600};
    // A toast that also says the connection was not kept stays up this many times as long.
    static constexpr int detailedToastFactor = 4;
    static constexpr qreal feedbackButtonEdgeInset = 34;

    MainSplitView(DraftStore& draftStore, LinkedInSessionStore& sessionStore, PostFlow& postFlow,
                  ConnectFlow& connectFlow, AccountFlow& accountFlow, FeedbackFlow& feedbackFlow,
                  TelemetrySink telemetry = sendTelemetryEvent, QWidget* parent = nullptr);
    ~MainSplitView() override;

    Section selection() const { return m_selection; }
    bool opensDraftInEditor() const { return m_opensDraftInEditor; }
    bool showsFeedback() const { return m_showsFeedback; }
    bool showsPostToast() const { return m_showsPostToast; }
    const std::optional<QPointF>& feedbackButtonPosition() const {
        return m_feedbackButtonPosition;
    }

    // The pane of the selected section; a new one each time the section changes.
    QWidget* currentPane() const { return m_pane; }
    QListWidget* sidebar() const { return m_sidebar; }
    FeedbackButton* feedbackButton() const { return m_feedbackButton; }
    // None until the first post succeeds.
    PostToast* postToast() const { return m_toast; }
    // The feedback sheet once opened, from here or from Settings; closed, it stays.
    QDialog* feedbackSheet() const { return m_feedbackSheet; }
    FeedbackSheet* sharedFeedbackSheet();

    // The sidebar's selection setter: ignores a request to deselect; choosing Editor starts a
    // fresh post unless a draft was opened from the list since the last sidebar choice or the
    // editor holds unsaved text.
    void selectSection(std::optional<Section> section);
    void openDraftInEditor();
    // `keyringProblem` is said in the toast under "Posted to LinkedIn".
    void postSucceeded(const std::optional<QString>& keyringProblem = std::nullopt);
    void hidePostToast();
    void syncDraftOwner();
    void memberIDChanged(const std::optional<QString>& memberID);
    void openFeedback();
    // `translation` is the pointer's move since the drag began; `contentSize` the area the
    // button may use.
    void dragFeedbackButton(const QPointF& translation, const QSizeF& contentSize);
    void endFeedbackButtonDrag();

    static QPointF defaultFeedbackButtonCenter(const QSizeF& contentSize);
    // Each coordinate raised to at least 34, then lowered to at most the size minus 34.
    static QPointF clampFeedbackButtonCenter(const QPointF& center, const QSizeF& contentSize);

    // How long a post success keeps the toast up; postToastDuration unless tests shorten it.
    void setPostToastDuration(std::chrono::milliseconds duration);

Q_SIGNALS:
    void selectionChanged(quillon::MainSplitView::Section section);
    void showsPostToastChanged(bool shown);
    void showsFeedbackChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What takes the focus in a new pane; null leaves it to the sidebar.
    using FocusTarget = std::function<QWidget*(QWidget* pane)>;
    enum class FocusLanding { ifInOldPane, always };
    void setSelection(Section section, const FocusTarget& focusTarget = {},
                      FocusLanding landing = FocusLanding::ifInOldPane);
    void syncSidebar();
    void sidebarSelectionChanged(const QItemSelection& selected);
    void putFeedbackButtonLastInTabOrder();
    QWidget* createPane(Section section);
    void placeFeedbackButton();
    void setShowsFeedback(bool shown);
    QSizeF contentSize() const;

    DraftStore& m_draftStore;
    LinkedInSessionStore& m_sessionStore;
    PostFlow& m_postFlow;
    ConnectFlow& m_connectFlow;
    AccountFlow& m_accountFlow;
    FeedbackFlow& m_feedbackFlow;
    const TelemetrySink m_telemetry;

    Section m_selection = Section::editor;
    bool m_opensDraftInEditor = false;
    bool m_showsFeedback = false;
    bool m_showsPostToast = false;
    std::optional<QPointF> m_feedbackButtonPosition;
    std::optional<QPointF> m_feedbackButtonDragStart;
    std::chrono::milliseconds m_postToastDuration = postToastDuration;

    bool m_shown = false;
    std::optional<QString> m_lastMemberID;
    bool m_syncingSidebar = false;

    QSplitter* m_splitter;
    QListWidget* m_sidebar;
    QWidget* m_detail;
    QWidget* m_pane = nullptr;
    FeedbackButton* m_feedbackButton;
    PostToast* m_toast = nullptr;
    QPointer<FeedbackSheet> m_feedbackSheet;
};

} // namespace quillon
