#pragma once

#include "core/storage/KeychainBackend.h"
#include "core/storage/LinkedInTokenStore.h"

#include <memory>

namespace quillon {

// The token as one generic-password keychain item (service, account = key) holding its JSON.
class AuthTokenStore final : public LinkedInTokenStore {
public:
    AuthTokenStore(QString key, QString service, std::shared_ptr<KeychainBackend> keychain);

    std::optional<LinkedInToken> load() override;
    void save(const LinkedInToken& token) override;
    void deleteToken() override;
    void deleteAll() override;

    KeychainBackend::Query baseQuery() const;
    const QString& key() const { return m_key; }
    const QString& service() const { return m_service; }

private:
    const QString m_key;
    const QString m_service;
    const std::shared_ptr<KeychainBackend> m_keychain;
};

} // namespace quillon
