#include "core/storage/AuthTokenStore.h"

#include "core/storage/UserDefaults.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

namespace quillon {

using Status = KeychainBackend::Status;

namespace {

const QString tokenOnly = u"token"_s;
const QString allCopies = u"all"_s;
// Between the scope and each spared token's fingerprint in the stored record.
constexpr QChar separator = u':';

bool confirmed(Status status) {
    return status == Status::success || status == Status::itemNotFound;
}

// Names a stored token without keeping it: the hex SHA-256 of its item's data.
QByteArray fingerprint(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
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
        // "token" or "all", then the fingerprints of the tokens it spares; earlier builds wrote
        // the scope alone.
        const QStringList stored =
            QString::fromUtf8(m_defaults->value(pendingDeletionKey()).value_or(QByteArray()))
                .split(separator);
        if (stored.first() == tokenOnly || stored.first() == allCopies) {
            PendingDeletion deletion{stored.first() == allCopies ? Scope::all : Scope::token, {}};
            for (qsizetype i = 1; i < stored.size(); ++i) {
                deletion.spared.append(stored.at(i).toLatin1());
            }
            m_pendingDeletion = std::move(deletion);
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
    return m_key + u".pendingDeletion"_s;
}

std::optional<LinkedInToken> AuthTokenStore::load() {
    if (settlePendingDeletion() != Status::success) {
        return std::nullopt;
    }
    QByteArray data;
    if (m_keychain->copyMatching(baseQuery(), &data) != Status::success) {
        return std::nullopt;
    }
    return LinkedInToken::fromJsonBytes(data);
}

TokenSave AuthTokenStore::save(const LinkedInToken& token) {
    const QByteArray data = token.toJsonBytes();
    const QByteArray print = fingerprint(data);
    // A connection writes its token, then the session writes it again: the member who has just
    // dismissed the keyring's prompt for this token is not asked a second time.
    if (m_refusedWhileLocked == print) {
        return TokenSave::keyringLocked;
    }
    m_refusedWhileLocked.clear();
    if (m_pendingDeletion) {
        // Asked ahead of the write: the keychain carries calls out in order, so even a delete
        // answered late lands before the write.
        settlePendingDeletion();
    }
    if (m_pendingDeletion && !m_pendingDeletion->spared.contains(print)) {
        // Still waiting: from now on it spares this token, whenever it is done.
        PendingDeletion narrowed = *m_pendingDeletion;
        narrowed.spared.append(print);
        setPendingDeletion(narrowed);
    }
    Status status = m_keychain->update(baseQuery(), data);
    // An update the keychain has not answered yet may find nothing when it runs: the add
    // queued behind it then stores the token (and finds a duplicate otherwise).
    if (status == Status::itemNotFound || status == Status::notAvailable) {
        status = m_keychain->add(baseQuery(), data);
    }
    // The plain item now holds this token; a synchronizable copy may still wait for its delete.
    if (status == Status::success && m_pendingDeletion &&
        m_pendingDeletion->scope == Scope::token) {
        setPendingDeletion(std::nullopt);
    }
    // Only the keyring's own yes counts: a write it has not answered yet (notAvailable) may
    // still land, or never.
    switch (status) {
    case Status::success:
        return TokenSave::kept;
    case Status::locked:
        m_refusedWhileLocked = print;
        return TokenSave::keyringLocked;
    default:
        return TokenSave::keyringUnavailable;
    }
}

TokenDeletion AuthTokenStore::deleteToken() {
    return deleteItems(Scope::token);
}

TokenDeletion AuthTokenStore::deleteAll() {
    return deleteItems(Scope::all);
}

TokenDeletion AuthTokenStore::deleteItems(Scope scope) {
    // Every token stored so far goes, so nothing is spared any more. Remembered first: the
    // process may end before the keychain answers.
    const bool widened = m_pendingDeletion && m_pendingDeletion->scope == Scope::all;
    const bool recorded = setPendingDeletion(PendingDeletion{widened ? Scope::all : scope, {}});
    const Status status = settlePendingDeletion();
    if (status == Status::success) {
        return TokenDeletion::done;
    }
    if (recorded) {
        return TokenDeletion::recorded;
    }
    return status == Status::locked ? TokenDeletion::keyringLocked
                                    : TokenDeletion::keyringUnavailable;
}

Status AuthTokenStore::settlePendingDeletion() {
    if (!m_pendingDeletion) {
        return Status::success;
    }
    const bool everyCopy = m_pendingDeletion->scope == Scope::all;
    KeychainBackend::Query items = baseQuery();
    Status status = Status::success;
    if (m_pendingDeletion->spared.isEmpty()) {
        // One search for the plain item and, for every copy, the synchronizable ones with it:
        // one keyring prompt at most, and no second search.
        if (everyCopy) {
            items.synchronizable = KeychainBackend::Synchronizable::any;
        }
        status = m_keychain->remove(items);
    } else {
        // A token saved since is kept: only an item holding anything else is removed.
        QByteArray data;
        status = m_keychain->copyMatching(baseQuery(), &data);
        if (status == Status::success && !m_pendingDeletion->spared.contains(fingerprint(data))) {
            status = m_keychain->remove(baseQuery());
        }
        // Asked only once the plain item is settled: a locked keyring would otherwise show its
        // prompt twice for one delete.
        if (everyCopy && confirmed(status)) {
            items.synchronizable = KeychainBackend::Synchronizable::yes;
            status = m_keychain->remove(items);
        }
    }
    if (!confirmed(status)) {
        return status;
    }
    setPendingDeletion(std::nullopt);
    return Status::success;
}

bool AuthTokenStore::setPendingDeletion(std::optional<PendingDeletion> deletion) {
    if (!m_defaults) {
        m_pendingDeletion = std::move(deletion);
        return false;
    }
    bool written = false;
    if (deletion) {
        QStringList stored{deletion->scope == Scope::all ? allCopies : tokenOnly};
        for (const QByteArray& spared : std::as_const(deletion->spared)) {
            stored.append(QString::fromLatin1(spared));
        }
        written = m_defaults->setValue(pendingDeletionKey(), stored.join(separator).toUtf8()) ==
                  StorageWriteStatus::written;
    } else {
        written = m_defaults->remove(pendingDeletionKey()) == StorageWriteStatus::written;
    }
    // A record that could not be removed is still there to be read at the next start: it is
    // kept here too, so that a token saved later is still spared by it.
    if (written || deletion) {
        m_pendingDeletion = std::move(deletion);
    }
    return written;
}

} // namespace quillon
