#include "core/storage/DraftStore.h"

#include "core/model/UnicodeText.h"
#include "core/storage/DraftRepository.h"

#include <QDateTime>
#include <algorithm>

namespace quillon {

DraftStore::DraftStore(std::shared_ptr<DraftRepository> repository, TelemetrySink telemetry,
                       QObject* parent)
    : QObject(parent)
    , m_editorText(initialEditorText())
    , m_draftRepository(std::move(repository))
    , m_telemetry(std::move(telemetry)) {
    m_drafts = m_draftRepository->loadDrafts(std::nullopt);
}

DraftStore::~DraftStore() = default;

void DraftStore::setEditorText(const QString& text) {
    // Code-unit comparison: canonically equal but different text is still an edit.
    if (m_editorText == text) {
        return;
    }
    m_editorText = text;
    Q_EMIT editorTextChanged(m_editorText);
}

void DraftStore::setStatusMessage(const std::optional<QString>& message) {
    if (m_statusMessage == message) {
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
    m_ownerID = memberID;
    setDrafts(m_draftRepository->loadDrafts(m_ownerID));
    resetEditor();
}

void DraftStore::resetEditor() {
    setEditorText(initialEditorText());
    m_editingDraftID.reset();
    setStatusMessage(std::nullopt);
}

QString DraftStore::notStoredMessage(const QString& what, StorageWriteStatus status) {
    switch (status) {
    case StorageWriteStatus::written:
        break;
    case StorageWriteStatus::diskFull:
        return what + QStringLiteral(": the disk is full.");
    case StorageWriteStatus::readOnly:
        return what + QStringLiteral(": the drafts folder is read-only.");
    case StorageWriteStatus::locked:
        return what + QStringLiteral(": another program is using the drafts file.");
    case StorageWriteStatus::failed:
        break;
    }
    return what + QStringLiteral(": the drafts file could not be written.");
}

void DraftStore::saveDraft() {
    storeEditorText();
}

bool DraftStore::storeEditorText() {
    const QString body = unicode::trimmedWhitespaceAndNewlines(m_editorText);
    if (body.isEmpty()) {
        setStatusMessage(QStringLiteral("Draft is empty"));
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
            setStatusMessage(notStoredMessage(QStringLiteral("Draft not saved"), status));
            return false;
        }
        Q_EMIT draftsChanged();
        report(m_telemetry, AppTelemetryEvent::draftSaved);
    }
    setStatusMessage(QStringLiteral("Draft saved"));
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
    setStatusMessage(notStoredMessage(QStringLiteral("Draft not deleted"), status));
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
    // The account is gone either way; the user learns that drafts are still on this computer.
    if (status != StorageWriteStatus::written) {
        setStatusMessage(
            notStoredMessage(QStringLiteral("Drafts not removed from this computer"), status));
    }
}

} // namespace quillon
