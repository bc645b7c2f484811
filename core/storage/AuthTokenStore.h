#pragma once

#include "core/storage/KeychainBackend.h"
#include "core/storage/LinkedInTokenStore.h"

#include <memory>

namespace quillon {

class UserDefaults;

// The token as one generic-password keychain item (service, account = key) holding its JSON.
// A delete the keychain has not confirmed is remembered in `defaults` and done again before the
// token is next read or written, so a token the user deleted never comes back.
class AuthTokenStore final : public LinkedInTokenStore {
public:
    AuthTokenStore(QString key, QString service, std::shared_ptr<KeychainBackend> keychain,
                   std::shared_ptr<UserDefaults> defaults = nullptr);

    std::optional<LinkedInToken> load() override;
    void save(const LinkedInToken& token) override;
    void deleteToken() override;
    void deleteAll() override;

    KeychainBackend::Query baseQuery() const;
    // The item a store with this key and service reads.
    static KeychainBackend::Query queryFor(const QString& key, const QString& service);
    const QString& key() const { return m_key; }
    const QString& service() const { return m_service; }
    // The entry of `defaults` naming a delete still to be done: "<key>.pendingDeletion".
    QString pendingDeletionKey() const;

private:
    enum class Deletion { token, all };
    // Runs the delete and remembers it until the keychain confirms it.
    void deleteItems(Deletion deletion);
    bool removeItems(Deletion deletion);
    // True once no delete is waiting.
    bool settlePendingDeletion();
    void setPendingDeletion(std::optional<Deletion> deletion);

    const QString m_key;
    const QString m_service;
    const std::shared_ptr<KeychainBackend> m_keychain;
    const std::shared_ptr<UserDefaults> m_defaults;
    // Also kept here: without `defaults`, or when they cannot be written.
    std::optional<Deletion> m_pendingDeletion;
    // A write went to the keychain after the pending delete, in this process.
    bool m_savedAfterDeletion = false;
};

} // namespace quillon
