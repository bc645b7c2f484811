#pragma once

#include "core/storage/KeychainBackend.h"

#include <chrono>
#include <memory>

namespace quillon {

// The keychain on the freedesktop Secret Service (GNOME Keyring, KWallet) through libsecret.
// Items carry the attributes "service", "account" and "synchronizable" ("true"/"false").
//
// Calls run one after another on a worker thread, in the order they were made. A caller waits
// at most `timeout` for its answer; a call that takes longer (the keyring's unlock or new-keyring
// prompt waiting for the user) is not cancelled but carried out when the service answers. While
// it is overdue later callers get notAvailable at once; their writes and deletes still run after
// it, in order, and reads are skipped.
//
// An item in a locked collection is unlocked through the keyring's own prompt; while it stays
// locked (the prompt dismissed, or no prompter can be shown) a call on it answers `locked`, so
// an item that is still there never reads as not found.
class SecretServiceKeychain final : public KeychainBackend {
public:
    explicit SecretServiceKeychain(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Returns at once: calls still queued are carried out by the worker, which then ends.
    ~SecretServiceKeychain() override;
    SecretServiceKeychain(const SecretServiceKeychain&) = delete;
    SecretServiceKeychain& operator=(const SecretServiceKeychain&) = delete;

    Status copyMatching(const Query& query, QByteArray* data) override;
    // Replaces the secret of every matching item in place, in whichever collection it is kept.
    Status update(const Query& query, const QByteArray& data) override;
    Status add(const Query& query, const QByteArray& data) override;
    Status remove(const Query& query) override;

    // Blocks until every call made so far has been carried out.
    void waitUntilIdle();

    // Connects and reads `query`'s item on a thread of its own, so that the start-up's token
    // read finds its answer ready. Only the first call made through this class afterwards can
    // take it, and only if it reads the same query; any other first call drops it, so a change
    // is never hidden behind an older answer. The answer is awaited at most that call's timeout.
    static void readAhead(const Query& query);

    struct Worker;

private:
    template <typename Result, typename Call>
    Result run(Result unavailable, bool isRead, Call&& call);

    const std::chrono::milliseconds m_timeout;
    const std::shared_ptr<Worker> m_worker;
};

} // namespace quillon
