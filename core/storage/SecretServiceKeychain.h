#pragma once

#include "core/storage/KeychainBackend.h"

#include <atomic>
#include <chrono>

namespace quillon {

// The keychain on the freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret.
// Items carry the attributes "service", "account" and "synchronizable" ("true"/"false").
// Every call waits at most `timeout`; once a call has timed out the service counts as
// unavailable for the rest of the process, so a wedged service costs one wait, not one per call.
class SecretServiceKeychain final : public KeychainBackend {
public:
    explicit SecretServiceKeychain(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    Status copyMatching(const Query& query, QByteArray* data) override;
    Status update(const Query& query, const QByteArray& data) override;
    Status add(const Query& query, const QByteArray& data) override;
    Status remove(const Query& query) override;

    // Connects to the service on a thread of its own, so the first call finds the session
    // open: the app's start-up reads the keychain, and would otherwise wait for the whole
    // handshake. Returns at once; the connection is kept for the life of the process.
    static void connectAhead();

private:
    template <typename Result, typename Call> Result bounded(Result unavailable, Call&& call);

    std::chrono::milliseconds m_timeout;
    std::atomic<bool> m_unavailable{false};
};

} // namespace quillon
