#pragma once

#include "core/storage/KeychainBackend.h"
#include "core/storage/LinkedInTokenStore.h"

#include <QByteArrayList>
#include <memory>

namespace quillon {

class UserDefaults;

// The token as one generic-password keychain item (service, account = key) holding its JSON.
// A delete the keychain has not confirmed is remembered in `defaults` and done again before the
// token is next read or written, so a token the user deleted never comes back. A token stored
// after it is spared: the remembered delete then removes only what is not that token, so a
// sign-in after a log-out the keyring answered late survives the next start.
class AuthTokenStore final : public LinkedInTokenStore {
public:
    AuthTokenStore(QString key, QString service, std::shared_ptr<KeychainBackend> keychain,
                   std::shared_ptr<UserDefaults> defaults = nullptr);

    std::optional<LinkedInToken> load() override;
    TokenSave save(const LinkedInToken& token) override;
    TokenDeletion deleteToken() override;
    TokenDeletion deleteAll() override;

    KeychainBackend::Query baseQuery() const;
    // The item a store with this key and service reads.
    static KeychainBackend::Query queryFor(const QString& key, const QString& service);
    const QString& key() const { return m_key; }
    const QString& service() const { return m_service; }
    // The entry of `defaults` naming a delete still to be done: "<key>.pendingDeletion".
    QString pendingDeletionKey() const;

private:
    enum class Scope { token, all };
    struct PendingDeletion {
        Scope scope = Scope::token;
        // Fingerprints of the tokens saved since the delete: those are kept.
        QByteArrayList spared;
    };

    TokenDeletion deleteItems(Scope scope);
    // Status::success once no delete is waiting, else why it is still waiting.
    KeychainBackend::Status settlePendingDeletion();
    // False when it could not be written to `defaults`.
    bool setPendingDeletion(std::optional<PendingDeletion> deletion);

    const QString m_key;
    const QString m_service;
    const std::shared_ptr<KeychainBackend> m_keychain;
    const std::shared_ptr<UserDefaults> m_defaults;
    // Also kept here: without `defaults`, or when they cannot be written.
    std::optional<PendingDeletion> m_pendingDeletion;
    // Fingerprint of the last token whose write the locked keyring refused, until another
    // is written.
    QByteArray m_refusedWhileLocked;
};

} // namespace quillon
