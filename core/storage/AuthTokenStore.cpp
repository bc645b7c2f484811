#include "core/storage/AuthTokenStore.h"

#include "core/storage/UserDefaults.h"

namespace quillon {

using Status = KeychainBackend::Status;

namespace {

const QString tokenOnly = QStringLiteral("token");
const QString allCopies = QStringLiteral("all");

bool confirmed(Status status) {
    return status == Status::success || status == Status::itemNotFound;
}

} // namespace

AuthTokenStore::AuthTokenStore(QString key, QString service,
                               std::shared_ptr<KeychainBackend> keychain,
                               std::shared_ptr<UserDefaults> defaults)
    : m_key(std::move(key))
    , m_service(std::move(service))
    , m_keychain(std::move(keychain))
    , m_defaults(std::move(defaults)) {
    if (m_defaults) {
        const QString stored =
            QString::fromUtf8(m_defaults->value(pendingDeletionKey()).value_or(QByteArray()));
        if (stored == tokenOnly) {
            m_pendingDeletion = Deletion::token;
        } else if (stored == allCopies) {
            m_pendingDeletion = Deletion::all;
        }
    }
}

KeychainBackend::Query AuthTokenStore::baseQuery() const {
    return queryFor(m_key, m_service);
}

KeychainBackend::Query AuthTokenStore::queryFor(const QString& key, const QString& service) {
    return {service, key, KeychainBackend::Synchronizable::no};
}

QString AuthTokenStore::pendingDeletionKey() const {
    return m_key + QStringLiteral(".pendingDeletion");
}

std::optional<LinkedInToken> AuthTokenStore::load() {
    QByteArray data;
    if (m_pendingDeletion && m_savedAfterDeletion) {
        // The keychain runs calls in order: an answer now comes after the delete and the
        // write behind it.
        const Status status = m_keychain->copyMatching(baseQuery(), &data);
        if (!confirmed(status)) {
            return std::nullopt;
        }
        setPendingDeletion(std::nullopt);
        return status == Status::success ? LinkedInToken::fromJsonBytes(data) : std::nullopt;
    }
    if (!settlePendingDeletion()) {
        return std::nullopt;
    }
    if (m_keychain->copyMatching(baseQuery(), &data) != Status::success) {
        return std::nullopt;
    }
    return LinkedInToken::fromJsonBytes(data);
}

void AuthTokenStore::save(const LinkedInToken& token) {
    if (!m_savedAfterDeletion && !settlePendingDeletion()) {
        // The delete waits in the keychain's queue, ahead of this write.
        m_savedAfterDeletion = true;
    }
    const QByteArray data = token.toJsonBytes();
    Status status = m_keychain->update(baseQuery(), data);
    // An update the keychain has not answered yet may find nothing when it runs: the add
    // queued behind it then stores the token (and finds a duplicate otherwise).
    if (status == Status::itemNotFound || status == Status::notAvailable) {
        status = m_keychain->add(baseQuery(), data);
    }
    if (status == Status::success) {
        setPendingDeletion(std::nullopt);
    }
}

void AuthTokenStore::deleteToken() {
    deleteItems(Deletion::token);
}

void AuthTokenStore::deleteAll() {
    deleteItems(Deletion::all);
}

void AuthTokenStore::deleteItems(Deletion deletion) {
    // Remembered first: the process may end before the keychain answers.
    if (m_pendingDeletion != Deletion::all) {
        setPendingDeletion(deletion);
    }
    m_savedAfterDeletion = false;
    if (removeItems(*m_pendingDeletion)) {
        setPendingDeletion(std::nullopt);
    }
}

bool AuthTokenStore::removeItems(Deletion deletion) {
    bool done = confirmed(m_keychain->remove(baseQuery()));
    if (deletion == Deletion::all) {
        KeychainBackend::Query widened = baseQuery();
        widened.synchronizable = KeychainBackend::Synchronizable::any;
        done = confirmed(m_keychain->remove(widened)) && done;
    }
    return done;
}

bool AuthTokenStore::settlePendingDeletion() {
    if (!m_pendingDeletion) {
        return true;
    }
    if (!removeItems(*m_pendingDeletion)) {
        return false;
    }
    setPendingDeletion(std::nullopt);
    return true;
}

void AuthTokenStore::setPendingDeletion(std::optional<Deletion> deletion) {
    if (m_pendingDeletion == deletion) {
        return;
    }
    m_pendingDeletion = deletion;
    m_savedAfterDeletion = false;
    if (!m_defaults) {
        return;
    }
    if (deletion) {
        m_defaults->setValue(pendingDeletionKey(),
                             (*deletion == Deletion::all ? allCopies : tokenOnly).toUtf8());
    } else {
        m_defaults->remove(pendingDeletionKey());
    }
}

} // namespace quillon
