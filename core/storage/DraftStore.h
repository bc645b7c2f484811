#pragma once

#include "core/model/Draft.h"
#include "core/model/TelemetrySink.h"
#include "core/model/UnsavedText.h"
#include "core/storage/StorageWriteStatus.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <chrono>
#include <memory>
#include <optional>

namespace quillon {

class DraftRepository;

// The observable model behind the editor and the drafts list: the text being edited, the
// draft it belongs to, the current owner's saved drafts (newest created first, at most
// maxDrafts) and a one-line status. Main thread only. Typing changes only editorText;
// drafts are persisted by explicit operations. Text the user typed and did not save is never
// thrown away by a section change or an owner change, and, once restoreUnsavedText() ran, is
// kept in the repository a pause after each change and at keepUnsavedText(), for the next
// start.
class DraftStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString editorText READ editorText WRITE setEditorText NOTIFY editorTextChanged)
    Q_PROPERTY(QList<quillon::Draft> drafts READ drafts NOTIFY draftsChanged)
    Q_PROPERTY(std::optional<QString> statusMessage READ statusMessage WRITE setStatusMessage NOTIFY
                   statusMessageChanged)

public:
    static constexpr int maxDrafts = 15;
    static QString initialEditorText() { return QStringLiteral("Write a LinkedIn post..."); }
    // How long the text must rest before it is kept: a write per pause, not per keystroke.
    static constexpr std::chrono::milliseconds unsavedTextPause{1000};

    DraftStore(std::shared_ptr<DraftRepository> repository, TelemetrySink telemetry,
               QObject* parent = nullptr);
    ~DraftStore() override;

    const QString& editorText() const { return m_editorText; }
    void setEditorText(const QString& text);
    const QList<Draft>& drafts() const { return m_drafts; }
    const std::optional<QString>& statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const std::optional<QString>& message);
    const std::optional<QUuid>& editingDraftID() const { return m_editingDraftID; }
    const std::optional<QString>& ownerID() const { return m_ownerID; }
    DraftRepository& draftRepository() const { return *m_draftRepository; }

    // Unless `memberID` is the current owner: loads the member's drafts and resets the editor;
    // unsaved text stays, as a new post of the new owner.
    void setOwner(const std::optional<QString>& memberID);
    void resetEditor();
    // What choosing the Editor section does: resetEditor() unless the text is unsaved.
    void resetEditorUnlessUnsaved();
    // Text a reset would lose: not blank, not the initial text, not the body of the draft it
    // is bound to and not the text just posted.
    bool hasUnsavedText() const;
    // After a successful post of `text`: while the editor still shows it, it counts as kept.
    void notePosted(const QString& text);
    // Puts back the text kept at the last quit, once, after the first owner is set; only from
    // then on is unsaved text kept (earlier it would overwrite what is to be put back).
    void restoreUnsavedText();
    // Writes the unsaved text to the repository now, or removes it there when there is none;
    // nothing when the repository already holds exactly that.
    void keepUnsavedText();
    void saveDraft();
    void newPost();
    void openDraft(const Draft& draft);
    void deleteDraft(const QUuid& id);
    void dropEditingDraft();
    void clearAllLocal(const std::optional<QString>& ownerID);

Q_SIGNALS:
    void editorTextChanged(const QString& text);
    void draftsChanged();
    // Also for a message written again unchanged: the same outcome happened once more.
    void statusMessageChanged();

private:
    // "<what>: <why>", the status of a drafts write that did not happen.
    static QString notStoredMessage(const QString& what, StorageWriteStatus status);
    // saveDraft(); false when the drafts could not be stored (the status says why).
    bool storeEditorText();
    // Stores the list after a removal; when that fails, puts back the list and the bound draft
    // as they were before and says why.
    bool storeRemoval(const QList<Draft>& before, const std::optional<QUuid>& editingBefore);
    // Whether the open draft's body changed; none when no open draft is in the list.
    std::optional<bool> updateEditingDraft(const QString& body);
    void insertNewDraft(const QString& body);
    // Emits draftsChanged when the draft was there; persists nothing.
    bool removeDraft(const QUuid& id);
    void setDrafts(QList<Draft> drafts);
    void keepUnsavedTextAfterPause();

    QString m_editorText;
    QList<Draft> m_drafts;
    std::optional<QString> m_statusMessage;
    std::optional<QUuid> m_editingDraftID;
    std::optional<QString> m_ownerID;
    bool m_showsPostedText = false;
    bool m_keepsUnsavedText = false;
    // What the repository holds, as last read or written.
    std::optional<UnsavedText> m_keptUnsavedText;
    QTimer m_unsavedTextTimer;
    const std::shared_ptr<DraftRepository> m_draftRepository;
    const TelemetrySink m_telemetry;
};

} // namespace quillon
