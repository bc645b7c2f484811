#pragma once

#include "core/storage/DraftRepository.h"

#include <memory>

class QSettings;

namespace quillon {

// Drafts in the per-user defaults store: one entry per owner, "<key>.<member ID>" or
// "<key>.signed-out", holding the owner's list as JSON bytes; the unsaved editor text under
// "<key>.unsavedText", as JSON bytes too.
class UserDefaultsDraftRepository final : public DraftRepository {
public:
    UserDefaultsDraftRepository(QString key, std::shared_ptr<QSettings> defaults);

    QList<Draft> loadDrafts(const std::optional<QString>& ownerID) override;
    void saveDrafts(const QList<Draft>& drafts, const std::optional<QString>& ownerID) override;
    void deleteDrafts(const std::optional<QString>& ownerID) override;
    std::optional<UnsavedText> loadUnsavedText() override;
    void saveUnsavedText(const std::optional<UnsavedText>& unsaved) override;

    QString entryKey(const std::optional<QString>& ownerID) const;
    QString unsavedTextKey() const;
    const QString& key() const { return m_key; }

private:
    const QString m_key;
    const std::shared_ptr<QSettings> m_defaults;
};

} // namespace quillon
