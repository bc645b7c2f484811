#include "core/storage/AuthTokenStore.h"

namespace quillon {

using Status = KeychainBackend::Status;

AuthTokenStore::AuthTokenStore(QString key, QString service,
                               std::shared_ptr<KeychainBackend> keychain)
    : m_key(std::move(key))
    , m_service(std::move(service))
    , m_keychain(std::move(keychain)) {}

KeychainBackend::Query AuthTokenStore::baseQuery() const {
    return {m_service, m_key, KeychainBackend::Synchronizable::no};
}

std::optional<LinkedInToken> AuthTokenStore::load() {
    QByteArray data;
    if (m_keychain->copyMatching(baseQuery(), &data) != Status::success) {
        return std::nullopt;
    }
    return LinkedInToken::fromJsonBytes(data);
}

void AuthTokenStore::save(const LinkedInToken& token) {
    const QByteArray data = token.toJsonBytes();
    if (m_keychain->update(baseQuery(), data) == Status::itemNotFound) {
        m_keychain->add(baseQuery(), data);
    }
}

void AuthTokenStore::deleteToken() {
    m_keychain->remove(baseQuery());
}

void AuthTokenStore::deleteAll() {
    m_keychain->remove(baseQuery());
    KeychainBackend::Query widened = baseQuery();
    widened.synchronizable = KeychainBackend::Synchronizable::any;
    m_keychain->remove(widened);
}

} // namespace quillon
