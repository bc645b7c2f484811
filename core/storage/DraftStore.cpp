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
    m_ownerID = memberID;
    setDrafts(m_draftRepository->loadDrafts(m_ownerID));
    resetEditor();
}

void DraftStore::resetEditor() {
    setEditorText(initialEditorText());
    m_editingDraftID.reset();
    setStatusMessage(std::nullopt);
}

void DraftStore::saveDraft() {
    const QString body = unicode::trimmedWhitespaceAndNewlines(m_editorText);
    if (body.isEmpty()) {
        setStatusMessage(QStringLiteral("Draft is empty"));
        return;
    }
    const std::optional<bool> updated = updateEditingDraft(body);
    if (!updated) {
        insertNewDraft(body);
    }
    if (updated.value_or(true)) {
        if (m_drafts.size() > maxDrafts) {
            m_drafts.resize(maxDrafts);
        }
        Q_EMIT draftsChanged();
        m_draftRepository->saveDrafts(m_drafts, m_ownerID);
        report(m_telemetry, AppTelemetryEvent::draftSaved);
    }
    setStatusMessage(QStringLiteral("Draft saved"));
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
    if (m_editingDraftID) {
        saveDraft();
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

void DraftStore::deleteDraft(const QUuid& id) {
    removeDraft(id);
    if (m_editingDraftID == id) {
        m_editingDraftID.reset();
    }
    m_draftRepository->saveDrafts(m_drafts, m_ownerID);
}

void DraftStore::dropEditingDraft() {
    if (!m_editingDraftID) {
        return;
    }
    const QUuid id = *m_editingDraftID;
    m_editingDraftID.reset();
    if (removeDraft(id)) {
        m_draftRepository->saveDrafts(m_drafts, m_ownerID);
    }
}

void DraftStore::clearAllLocal(const std::optional<QString>& ownerID) {
    if (ownerID) {
        m_draftRepository->deleteDrafts(ownerID);
    }
    m_draftRepository->deleteDrafts(std::nullopt);
    m_ownerID.reset();
    setDrafts({});
    resetEditor();
}

} // namespace quillon
