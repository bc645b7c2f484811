#pragma once

#include "core/storage/DraftRepository.h"

#include <memory>

class QSettings;

namespace quillon {

// Drafts in the per-user defaults store: one entry per owner, "<key>.<member ID>" or
// "<key>.signed-out", holding the owner's list as JSON bytes.
class UserDefaultsDraftRepository final : public DraftRepository {
public:
    UserDefaultsDraftRepository(QString key, std::shared_ptr<QSettings> defaults);

    QList<Draft> loadDrafts(const std::optional<QString>& ownerID) override;
    void saveDrafts(const QList<Draft>& drafts, const std::optional<QString>& ownerID) override;
    void deleteDrafts(const std::optional<QString>& ownerID) override;

    QString entryKey(const std::optional<QString>& ownerID) const;
    const QString& key() const { return m_key; }

private:
    const QString m_key;
    const std::shared_ptr<QSettings> m_defaults;
};

} // namespace quillon
