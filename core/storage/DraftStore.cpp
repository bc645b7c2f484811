#include "core/storage/DraftStore.h"

#include "core/model/UnicodeText.h"
#include "core/storage/DraftRepository.h"

#include <QDateTime>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quillon {

DraftStore::DraftStore(std::shared_ptr<DraftRepository> repository, TelemetrySink telemetry,
                       QObject* parent)
    : QObject(parent)
    , m_editorText(initialEditorText())
    , m_draftRepository(std::move(repository))
    , m_telemetry(std::move(telemetry)) {
    m_drafts = m_draftRepository->loadDrafts(std::nullopt);
    m_unsavedTextTimer.setSingleShot(true);
    m_unsavedTextTimer.setInterval(unsavedTextPause);
    connect(&m_unsavedTextTimer, &QTimer::timeout, this, &DraftStore::keepUnsavedText);
    // A save or a deleted draft can change what is unsaved as much as typing does.
    connect(this, &DraftStore::editorTextChanged, this, &DraftStore::keepUnsavedTextAfterPause);
    connect(this, &DraftStore::draftsChanged, this, &DraftStore::keepUnsavedTextAfterPause);
}

DraftStore::~DraftStore() = default;

void DraftStore::setEditorText(const QString& text) {
    // Code-unit comparison: canonically equal but different text is still an edit.
    if (m_editorText == text) {
        return;
    }
    m_editorText = text;
    m_showsPostedText = false;
    Q_EMIT editorTextChanged(m_editorText);
}

void DraftStore::setStatusMessage(const std::optional<QString>& message) {
    // A message that repeats the last one is still a new outcome, told again; only clearing
    // what is already clear is no news.
    if (!message && !m_statusMessage) {
        return;
    }
    m_statusMessage = message;
    Q_EMIT statusMessageChanged();
}

void DraftStore::setDrafts(QList<Draft> drafts) {
    m_drafts = std::move(drafts);
    Q_EMIT draftsChanged();
}

void DraftStore::setOwner(const std::optional<QString>& memberID) {
    if (memberID == m_ownerID) {
        return;
    }
    // Judged against the previous owner's list, which holds the bound draft.
    const bool keepsText = hasUnsavedText();
    if (keepsText) {
        // The text stays as a new post: the draft it edits is not the new owner's.
        m_editingDraftID.reset();
    }
    m_ownerID = memberID;
    setDrafts(m_draftRepository->loadDrafts(m_ownerID));
    if (keepsText) {
        setStatusMessage(std::nullopt);
    } else {
        resetEditor();
    }
}

void DraftStore::resetEditor() {
    setEditorText(initialEditorText());
    m_editingDraftID.reset();
    setStatusMessage(std::nullopt);
}

void DraftStore::resetEditorUnlessUnsaved() {
    if (!hasUnsavedText()) {
        resetEditor();
    }
}

bool DraftStore::hasUnsavedText() const {
    if (m_showsPostedText) {
        return false;
    }
    // Trimmed and canonically compared, as a save compares: what a save would not store is
    // stored already.
    const QString body = unicode::trimmedWhitespaceAndNewlines(m_editorText);
    if (body.isEmpty() || body == initialEditorText()) {
        return false;
    }
    if (!m_editingDraftID) {
        return true;
    }
    const auto it = std::find_if(m_drafts.begin(), m_drafts.end(),
                                 [this](const Draft& d) { return d.id == *m_editingDraftID; });
    return it == m_drafts.end() || !unicode::canonicallyEqual(it->body, body);
}

void DraftStore::notePosted(const QString& text) {
    // Text typed while the post was on its way is not what was posted.
    m_showsPostedText =
        unicode::canonicallyEqual(unicode::trimmedWhitespaceAndNewlines(m_editorText),
                                  unicode::trimmedWhitespaceAndNewlines(text));
    keepUnsavedText();
}

void DraftStore::restoreUnsavedText() {
    if (m_keepsUnsavedText) {
        return;
    }
    m_keepsUnsavedText = true;
    m_keptUnsavedText = m_draftRepository->loadUnsavedText();
    if (m_keptUnsavedText && !hasUnsavedText()) {
        const UnsavedText& kept = *m_keptUnsavedText;
        // Bound again only to a draft of the owner it was written for that is still there.
        const bool bound = kept.draftID && kept.ownerID == m_ownerID &&
                           std::any_of(m_drafts.begin(), m_drafts.end(),
                                       [&kept](const Draft& d) { return d.id == *kept.draftID; });
        m_editingDraftID = bound ? kept.draftID : std::nullopt;
        setEditorText(kept.text);
    }
    // What was kept may be saved by now (a save just before the process ended).
    keepUnsavedTextAfterPause();
}

void DraftStore::keepUnsavedTextAfterPause() {
    if (m_keepsUnsavedText) {
        m_unsavedTextTimer.start();
    }
}

void DraftStore::keepUnsavedText() {
    m_unsavedTextTimer.stop();
    if (!m_keepsUnsavedText) {
        return;
    }
    std::optional<UnsavedText> unsaved;
    if (hasUnsavedText()) {
        unsaved = UnsavedText{m_editorText, m_ownerID, m_editingDraftID};
    }
    if (unsaved == m_keptUnsavedText) {
        return;
    }
    // A write that did not go through is tried again at the next pause or quit.
    if (m_draftRepository->saveUnsavedText(unsaved) == StorageWriteStatus::written) {
        m_keptUnsavedText = std::move(unsaved);
    }
}

QString DraftStore::notStoredMessage(const QString& what, StorageWriteStatus status) {
    switch (status) {
    case StorageWriteStatus::written:
        break;
    case StorageWriteStatus::diskFull:
        return what + u": the disk is full."_s;
    case StorageWriteStatus::readOnly:
        return what + u": the drafts folder is read-only."_s;
    case StorageWriteStatus::locked:
        return what + u": another program is using the drafts file."_s;
    case StorageWriteStatus::failed:
        break;
    }
    return what + u": the drafts file could not be written."_s;
}

void DraftStore::saveDraft() {
    storeEditorText();
}

bool DraftStore::storeEditorText() {
    const QString body = unicode::trimmedWhitespaceAndNewlines(m_editorText);
    if (body.isEmpty()) {
        setStatusMessage(u"Draft is empty"_s);
        return true;
    }
    const QList<Draft> before = m_drafts;
    const std::optional<QUuid> editingBefore = m_editingDraftID;
    const std::optional<bool> updated = updateEditingDraft(body);
    if (!updated) {
        insertNewDraft(body);
    }
    if (updated.value_or(true)) {
        if (m_drafts.size() > maxDrafts) {
            m_drafts.resize(maxDrafts);
        }
        const StorageWriteStatus status = m_draftRepository->saveDrafts(m_drafts, m_ownerID);
        if (status != StorageWriteStatus::written) {
            // The list shows what is stored; the editor keeps the text for another try.
            m_drafts = before;
            m_editingDraftID = editingBefore;
            setStatusMessage(notStoredMessage(u"Draft not saved"_s, status));
            return false;
        }
        Q_EMIT draftsChanged();
        report(m_telemetry, AppTelemetryEvent::draftSaved);
    }
    setStatusMessage(u"Draft saved"_s);
    return true;
}

std::optional<bool> DraftStore::updateEditingDraft(const QString& body) {
    if (!m_editingDraftID) {
        return std::nullopt;
    }
    const auto it = std::find_if(m_drafts.begin(), m_drafts.end(),
                                 [this](const Draft& d) { return d.id == *m_editingDraftID; });
    if (it == m_drafts.end()) {
        return std::nullopt;
    }
    if (unicode::canonicallyEqual(it->body, body)) {
        return false;
    }
    it->body = body;
    it->updatedAt = QDateTime::currentDateTimeUtc();
    return true;
}

void DraftStore::insertNewDraft(const QString& body) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const Draft draft{QUuid::createUuid(), body, now, now};
    m_drafts.prepend(draft);
    m_editingDraftID = draft.id;
}

void DraftStore::newPost() {
    // Edits that could not be stored stay in the editor, with the reason.
    if (m_editingDraftID && !storeEditorText()) {
        return;
    }
    setEditorText(QString());
    m_editingDraftID.reset();
    setStatusMessage(std::nullopt);
    // The user chose to clear: the kept text goes at once, not after a pause.
    keepUnsavedText();
}

void DraftStore::openDraft(const Draft& draft) {
    setEditorText(draft.body);
    m_editingDraftID = draft.id;
}

bool DraftStore::removeDraft(const QUuid& id) {
    if (m_drafts.removeIf([&id](const Draft& d) { return d.id == id; }) == 0) {
        return false;
    }
    Q_EMIT draftsChanged();
    return true;
}

bool DraftStore::storeRemoval(const QList<Draft>& before,
                              const std::optional<QUuid>& editingBefore) {
    const StorageWriteStatus status = m_draftRepository->saveDrafts(m_drafts, m_ownerID);
    if (status == StorageWriteStatus::written) {
        return true;
    }
    // Still stored, so still listed.
    m_editingDraftID = editingBefore;
    setDrafts(before);
    setStatusMessage(notStoredMessage(u"Draft not deleted"_s, status));
    return false;
}

void DraftStore::deleteDraft(const QUuid& id) {
    const QList<Draft> before = m_drafts;
    const std::optional<QUuid> editingBefore = m_editingDraftID;
    removeDraft(id);
    if (m_editingDraftID == id) {
        m_editingDraftID.reset();
    }
    storeRemoval(before, editingBefore);
}

void DraftStore::dropEditingDraft() {
    if (!m_editingDraftID) {
        return;
    }
    const QList<Draft> before = m_drafts;
    const QUuid id = *m_editingDraftID;
    m_editingDraftID.reset();
    if (removeDraft(id)) {
        storeRemoval(before, id);
    }
}

void DraftStore::clearAllLocal(const std::optional<QString>& ownerID) {
    StorageWriteStatus status = StorageWriteStatus::written;
    if (ownerID) {
        status = m_draftRepository->deleteDrafts(ownerID);
    }
    const StorageWriteStatus signedOut = m_draftRepository->deleteDrafts(std::nullopt);
    if (status == StorageWriteStatus::written) {
        status = signedOut;
    }
    m_ownerID.reset();
    setDrafts({});
    resetEditor();
    // The account's text goes with its drafts, whether or not it was kept yet.
    m_draftRepository->saveUnsavedText(std::nullopt);
    m_keptUnsavedText.reset();
    // The account is gone either way; the user learns that drafts are still on this computer.
    if (status != StorageWriteStatus::written) {
        setStatusMessage(notStoredMessage(u"Drafts not removed from this computer"_s, status));
    }
}

} // namespace quillon
