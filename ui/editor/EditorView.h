#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"
#include "ui/editor/EditorFormatCommand.h"
#include "ui/kit/FocusReturn.h"

#include <QList>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace quillon {

class DraftStore;
class PostFlow;
class LinkedInSessionStore;
class PreviewText;
class PrimaryButton;
class RichTextEditor;
class ScrollPane;
class SecondaryButton;
class StatusLine;

// The Editor pane: the post being written with its format toolbar, a live preview under the
// member's name, and the bottom bar that saves it as a draft or posts it to LinkedIn,
// connecting the account first when needed. A post runs to its end even when the pane goes.
class EditorView : public QWidget {
    Q_OBJECT

public:
    EditorView(DraftStore& draftStore, LinkedInSessionStore& sessionStore, PostFlow& postFlow,
               std::function<void()> onShowDrafts, TelemetrySink telemetry = sendTelemetryEvent,
               QWidget* parent = nullptr);
    ~EditorView() override;

    bool isPosting() const;
    std::optional<EditorFormatCommand> formatCommand() const;
    // The text trimmed of white space and line breaks is not empty.
    bool hasPostText() const;
    // The text exactly as typed, or "Preview appears here." when there is none.
    QString previewText() const;

    RichTextEditor* editor() const { return m_editor; }

    void trackFirstEdit();
    void clearPost();
    void saveDraft();
    // Starts the post and returns at once; a second one cannot start while it runs.
    void post();

    // The signed-in member's own recent activity on LinkedIn.
    static QUrl recentActivityURL();
    // Where a post that went out is seen: the recent activity, in the browser.
    static void openRecentActivity();

Q_SIGNALS:
    void isPostingChanged(bool posting);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* header();
    QWidget* editorCard();
    QWidget* formatToolbar();
    QWidget* preview();
    QWidget* bottomBar(const ScrollPane& pane);
    void addToolbarButton(QToolButton* button, EditorFormatCommand command);
    void addShortcuts();
    void orderTabStops();
    void focusEditor();
    void keepCaretInSight();
    void limitEditorGrowth();
    void refreshText();
    void refreshProfile();
    void refreshStatus();
    void setPosting(bool posting);

    DraftStore& m_draftStore;
    LinkedInSessionStore& m_sessionStore;
    const std::function<void()> m_onShowDrafts;
    PostFlow& m_postFlow;
    const TelemetrySink m_telemetry;

    QScrollArea* m_pane = nullptr;
    QToolButton* m_backButton = nullptr;
    QList<QToolButton*> m_toolbarButtons;
    RichTextEditor* m_editor = nullptr;
    QToolButton* m_clearButton = nullptr;
    QWidget* m_profileLine = nullptr;
    QVBoxLayout* m_previewColumn = nullptr;
    PreviewText* m_previewText = nullptr;
    StatusLine* m_status = nullptr;
    SecondaryButton* m_saveButton = nullptr;
    PrimaryButton* m_postButton = nullptr;
    FocusReturn m_postFocus;
    QTimer m_caretFollow;
};

} // namespace quillon
