#pragma once

#include "core/storage/DraftRepository.h"
#include "core/storage/UserDefaults.h"

#include <memory>

namespace quillon {

// Drafts in the per-user defaults store: one entry per owner, "<key>.<member ID>" or
// "<key>.signed-out", holding the owner's list as JSON bytes; the unsaved editor text under
// "<key>.unsavedText", as JSON bytes too. A stored value that is not such a list is kept under
// "<entry>.unreadable-<date>" when a save replaces it, so it is never lost.
class UserDefaultsDraftRepository final : public DraftRepository {
public:
    UserDefaultsDraftRepository(QString key, std::shared_ptr<UserDefaults> defaults);

    QList<Draft> loadDrafts(const std::optional<QString>& ownerID) override;
    StorageWriteStatus saveDrafts(const QList<Draft>& drafts,
                                  const std::optional<QString>& ownerID) override;
    StorageWriteStatus deleteDrafts(const std::optional<QString>& ownerID) override;
    std::optional<UnsavedText> loadUnsavedText() override;
    StorageWriteStatus saveUnsavedText(const std::optional<UnsavedText>& unsaved) override;

    QString entryKey(const std::optional<QString>& ownerID) const;
    QString unsavedTextKey() const;
    const QString& key() const { return m_key; }
    // Where unreadable values of `entry` are kept: the keys start with this.
    static QString unreadablePrefix(const QString& entry);

private:
    // Appends a change keeping the value under `entry` aside, when there is one and it is not
    // a drafts list.
    void keepUnreadableAside(const QString& entry, QList<UserDefaults::Change>& changes) const;

    const QString m_key;
    const std::shared_ptr<UserDefaults> m_defaults;
};

} // namespace quillon
