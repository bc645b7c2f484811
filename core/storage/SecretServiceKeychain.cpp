#include "core/storage/SecretServiceKeychain.h"

#include "analytics/base/RuntimeLibrary.h"
#include "core/storage/SecretServiceSchema.h"

#include <QList>
#include <condition_variable>
#include <dbus/dbus.h>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace quillon {

const SecretSchema* secretServiceItemSchema() {
    static const SecretSchema genericPassword = {
        "dev.tovrel.quillon.GenericPassword",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"synchronizable", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &genericPassword;
}

namespace {

using Sync = KeychainBackend::Synchronizable;
using Status = KeychainBackend::Status;

// libsecret (with GIO under it) is loaded on first use, on the keychain's own threads, instead of
// being linked: linked, it would hold back every start by more than a millisecond before main(),
// while a start needs it only to read a token that exists, and that read runs beside the toolkit.
struct LibSecret {
    decltype(&secret_service_search_sync) serviceSearchSync = nullptr;
    decltype(&secret_item_get_secret) itemGetSecret = nullptr;
    decltype(&secret_item_set_secret_sync) itemSetSecretSync = nullptr;
    decltype(&secret_value_new) valueNew = nullptr;
    decltype(&secret_value_get) valueGet = nullptr;
    decltype(&secret_value_unref) valueUnref = nullptr;
    decltype(&secret_password_storev_binary_sync) passwordStorevBinarySync = nullptr;
    decltype(&secret_item_get_locked) itemGetLocked = nullptr;
    decltype(&secret_item_delete_sync) itemDeleteSync = nullptr;
    decltype(&secret_error_get_quark) errorQuark = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_dbus_error_quark) dbusErrorQuark = nullptr;
    decltype(&g_io_error_quark) ioErrorQuark = nullptr;
};

// None when libsecret is not installed or lacks a function: the keychain is then not available.
const LibSecret* libSecret() {
    static const std::optional<LibSecret> loaded = signalpost::RuntimeLibrary::load<LibSecret>(
        u"secret-1"_s, 0, [](signalpost::RuntimeLibrary& library, LibSecret& functions) {
            return library.resolve("secret_service_search_sync", functions.serviceSearchSync) &&
                   library.resolve("secret_item_get_secret", functions.itemGetSecret) &&
                   library.resolve("secret_item_set_secret_sync", functions.itemSetSecretSync) &&
                   library.resolve("secret_value_new", functions.valueNew) &&
                   library.resolve("secret_value_get", functions.valueGet) &&
                   library.resolve("secret_value_unref", functions.valueUnref) &&
                   library.resolve("secret_password_storev_binary_sync",
                                   functions.passwordStorevBinarySync) &&
                   library.resolve("secret_item_get_locked", functions.itemGetLocked) &&
                   library.resolve("secret_item_delete_sync", functions.itemDeleteSync) &&
                   library.resolve("secret_error_get_quark", functions.errorQuark) &&
                   library.resolve("g_object_unref", functions.objectUnref) &&
                   library.resolve("g_dbus_error_quark", functions.dbusErrorQuark) &&
                   library.resolve("g_io_error_quark", functions.ioErrorQuark);
        });
    return loaded ? &*loaded : nullptr;
}

// The attributes a query matches by; a widened query leaves "synchronizable" out.
struct Attributes {
    Attributes(const KeychainBackend::Query& query, Sync sync)
        : service(query.service.toUtf8())
        , account(query.account.toUtf8())
        , pairs{{"service", service.constData()}, {"account", account.constData()}} {
        if (sync != Sync::any) {
            pairs.emplace_back("synchronizable", sync == Sync::yes ? "true" : "false");
        }
    }
    ~Attributes() {
        if (m_table != nullptr) {
            g_hash_table_unref(m_table);
        }
    }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    // As libsecret takes them; it adds the schema's name itself.
    GHashTable* table() {
        if (m_table == nullptr) {
            m_table = g_hash_table_new(g_str_hash, g_str_equal);
            for (const auto& [key, value] : pairs) {
                g_hash_table_insert(m_table, const_cast<char*>(key), const_cast<char*>(value));
            }
        }
        return m_table;
    }

    const QByteArray service;
    const QByteArray account;
    std::vector<std::pair<const char*, const char*>> pairs;

private:
    GHashTable* m_table = nullptr;
};

// `call` given libsecret, or `unavailable` where libsecret cannot be loaded.
template <typename Result, typename Call> Result withLibSecret(Result unavailable, Call&& call) {
    const LibSecret* secret = libSecret();
    return secret != nullptr ? call(*secret) : unavailable;
}

Status statusOf(const LibSecret& secret, GError* error) {
    if (error == nullptr) {
        return Status::success;
    }
    const bool locked =
        error->domain == secret.errorQuark() && error->code == SECRET_ERROR_IS_LOCKED;
    const bool noService =
        error->domain == secret.dbusErrorQuark() || error->domain == secret.ioErrorQuark();
    g_error_free(error);
    if (locked) {
        return Status::locked;
    }
    return noService ? Status::notAvailable : Status::failed;
}

// The items matching exactly `sync`, each unlocked through the keyring's own prompt where it is
// locked; one the prompt did not unlock stays locked in the list.
Status search(const LibSecret& secret, const KeychainBackend::Query& query, Sync sync,
              SecretSearchFlags flags, GList** items) {
    Attributes attributes(query, sync);
    GError* error = nullptr;
    *items = secret.serviceSearchSync(nullptr, secretServiceItemSchema(), attributes.table(),
                                      static_cast<SecretSearchFlags>(flags | SECRET_SEARCH_UNLOCK),
                                      nullptr, &error);
    if (error != nullptr) {
        return statusOf(secret, error);
    }
    return *items == nullptr ? Status::itemNotFound : Status::success;
}

Status lookup(const LibSecret& secret, const KeychainBackend::Query& query, Sync sync,
              QByteArray* data) {
    GList* items = nullptr;
    // A search opens the encrypted session only to load an item it found: finding none, as on
    // every signed-out start, costs no key exchange.
    const Status found = search(secret, query, sync, SECRET_SEARCH_LOAD_SECRETS, &items);
    if (found != Status::success) {
        return found;
    }
    // Without SECRET_SEARCH_ALL there is at most one item. A locked one has no secret loaded,
    // and is there all the same.
    auto* item = static_cast<SecretItem*>(items->data);
    const bool locked = secret.itemGetLocked(item);
    SecretValue* value = locked ? nullptr : secret.itemGetSecret(item);
    g_list_free_full(items, secret.objectUnref);
    if (locked) {
        return Status::locked;
    }
    if (value == nullptr) {
        return Status::failed;
    }
    if (data != nullptr) {
        gsize length = 0;
        const gchar* bytes = secret.valueGet(value, &length);
        *data = QByteArray(bytes, static_cast<qsizetype>(length));
    }
    secret.valueUnref(value);
    return Status::success;
}

SecretValue* secretOf(const LibSecret& secret, const QByteArray& data) {
    return secret.valueNew(data.constData(), data.size(), "application/json");
}

// A new item in the default collection.
Status store(const LibSecret& secret, const KeychainBackend::Query& query, Sync sync,
             const QByteArray& data) {
    Attributes attributes(query, sync);
    SecretValue* value = secretOf(secret, data);
    GError* error = nullptr;
    secret.passwordStorevBinarySync(secretServiceItemSchema(), attributes.table(),
                                    SECRET_COLLECTION_DEFAULT, attributes.service.constData(),
                                    value, nullptr, &error);
    secret.valueUnref(value);
    return statusOf(secret, error);
}

// Sets the secret of every item matching exactly `sync`, where it is kept.
Status replaceInPlace(const LibSecret& secret, const KeychainBackend::Query& query, Sync sync,
                      const QByteArray& data) {
    GList* items = nullptr;
    Status status = search(secret, query, sync, SECRET_SEARCH_ALL, &items);
    SecretValue* value = secretOf(secret, data);
    for (GList* node = items; node != nullptr && status == Status::success; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        if (secret.itemGetLocked(item)) {
            status = Status::locked;
            break;
        }
        GError* error = nullptr;
        secret.itemSetSecretSync(item, value, nullptr, &error);
        status = statusOf(secret, error);
    }
    secret.valueUnref(value);
    g_list_free_full(items, secret.objectUnref);
    return status;
}

// Whether the Secret Service certainly holds no item for `query`, asked over a short D-Bus
// connection of its own with the same attributes libsecret searches by (the schema's name among
// them). On a signed-out start libsecret and GIO are then never loaded. Any doubt (no bus, no
// service, an error, an answer of another shape) says false and leaves the answer to libsecret.
bool certainlyNoItem(const KeychainBackend::Query& query) {
    Attributes matching(query, query.synchronizable);
    auto attributes = matching.pairs;
    attributes.emplace_back("xdg:schema", secretServiceItemSchema()->name);
    for (const auto& [key, value] : attributes) {
        // libdbus stops the process on a string that is not UTF-8.
        if (!dbus_validate_utf8(value, nullptr)) {
            return false;
        }
    }

    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, nullptr);
    if (bus == nullptr) {
        return false;
    }
    // Left as it is, libdbus would end the process when the bus goes away.
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    DBusMessage* call =
        dbus_message_new_method_call("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                     "org.freedesktop.Secret.Service", "SearchItems");
    DBusMessageIter arguments;
    DBusMessageIter table;
    bool built = call != nullptr;
    if (built) {
        dbus_message_iter_init_append(call, &arguments);
        built = dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{ss}", &table);
    }
    for (const auto& [key, value] : attributes) {
        DBusMessageIter entry;
        built = built &&
                dbus_message_iter_open_container(&table, DBUS_TYPE_DICT_ENTRY, nullptr, &entry) &&
                dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
                dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &value) &&
                dbus_message_iter_close_container(&table, &entry);
    }
    built = built && dbus_message_iter_close_container(&arguments, &table);

    bool none = false;
    DBusMessage* reply = built ? dbus_connection_send_with_reply_and_block(
                                     bus, call, DBUS_TIMEOUT_USE_DEFAULT, nullptr)
                               : nullptr;
    // The unlocked items, then the locked ones.
    if (reply != nullptr && dbus_message_has_signature(reply, "aoao")) {
        DBusMessageIter lists;
        dbus_message_iter_init(reply, &lists);
        none = true;
        do {
            DBusMessageIter paths;
            dbus_message_iter_recurse(&lists, &paths);
            none = none && dbus_message_iter_get_arg_type(&paths) == DBUS_TYPE_INVALID;
        } while (dbus_message_iter_next(&lists));
    }
    if (reply != nullptr) {
        dbus_message_unref(reply);
    }
    if (call != nullptr) {
        dbus_message_unref(call);
    }
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return none;
}

// The concrete flag values a query matches.
QList<Sync> flagsOf(Sync sync) {
    return sync == Sync::any ? QList<Sync>{Sync::no, Sync::yes} : QList<Sync>{sync};
}

using Found = std::pair<Status, QByteArray>;

Found find(const KeychainBackend::Query& query) {
    if (certainlyNoItem(query)) {
        return {Status::itemNotFound, {}};
    }
    return withLibSecret(Found{Status::notAvailable, {}}, [&](const LibSecret& secret) {
        Found result{Status::itemNotFound, {}};
        for (const Sync flag : flagsOf(query.synchronizable)) {
            result.first = lookup(secret, query, flag, &result.second);
            if (result.first != Status::itemNotFound) {
                break;
            }
        }
        return result;
    });
}

bool sameQuery(const KeychainBackend::Query& a, const KeychainBackend::Query& b) {
    return a.service == b.service && a.account == b.account && a.synchronizable == b.synchronizable;
}

struct PendingRead {
    KeychainBackend::Query query;
    std::optional<Found> found;
};

// The read started ahead, until the first call claims or drops it. Never destroyed: the thread
// reading may still finish while the process exits.
struct ReadAhead {
    std::mutex mutex;
    std::condition_variable answered;
    std::shared_ptr<PendingRead> pending;
};

ReadAhead& readAheadSlot() {
    static auto* slot = new ReadAhead;
    return *slot;
}

// The answer read ahead for `query`, waited for at most `timeout`; none when there is no such
// read or `query` is null (a change is about to be made). Either way the read is used up.
std::optional<Found> claimReadAhead(const KeychainBackend::Query* query,
                                    std::chrono::milliseconds timeout) {
    ReadAhead& slot = readAheadSlot();
    std::unique_lock lock(slot.mutex);
    const std::shared_ptr<PendingRead> pending = std::exchange(slot.pending, nullptr);
    if (!pending || query == nullptr || !sameQuery(pending->query, *query)) {
        return std::nullopt;
    }
    if (!slot.answered.wait_for(lock, timeout, [&] { return pending->found.has_value(); })) {
        return Found{Status::notAvailable, {}};
    }
    return pending->found;
}

} // namespace

struct SecretServiceKeychain::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    bool busy = false;
    bool stopping = false;
    // A caller stopped waiting for the call now running.
    bool overdue = false;

    void loop() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty()) {
                return;
            }
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            lock.unlock();
            job();
            lock.lock();
            busy = false;
            overdue = false;
            if (jobs.empty()) {
                idle.notify_all();
            }
        }
    }
};

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
    , m_worker(std::make_shared<Worker>()) {
    std::thread([worker = m_worker] { worker->loop(); }).detach();
}

SecretServiceKeychain::~SecretServiceKeychain() {
    std::lock_guard lock(m_worker->mutex);
    m_worker->stopping = true;
    m_worker->wake.notify_all();
}

void SecretServiceKeychain::waitUntilIdle() {
    std::unique_lock lock(m_worker->mutex);
    m_worker->idle.wait(lock, [this] { return m_worker->jobs.empty() && !m_worker->busy; });
}

void SecretServiceKeychain::readAhead(const Query& query) {
    auto pending = std::make_shared<PendingRead>(PendingRead{query, std::nullopt});
    {
        ReadAhead& slot = readAheadSlot();
        std::lock_guard lock(slot.mutex);
        slot.pending = pending;
    }
    std::thread([pending] {
        Found found = find(pending->query);
        ReadAhead& slot = readAheadSlot();
        std::lock_guard lock(slot.mutex);
        pending->found = std::move(found);
        slot.answered.notify_all();
    }).detach();
}

template <typename Result, typename Call>
Result SecretServiceKeychain::run(Result unavailable, bool isRead, Call&& call) {
    struct Outcome {
        std::optional<Result> result;
    };
    auto outcome = std::make_shared<Outcome>();
    std::unique_lock lock(m_worker->mutex);
    if (m_worker->overdue) {
        // Nobody waits for a read that is answered later; a write or delete still matters.
        if (!isRead) {
            m_worker->jobs.emplace_back([call = std::forward<Call>(call)]() mutable { call(); });
            m_worker->wake.notify_all();
        }
        return unavailable;
    }
    m_worker->jobs.emplace_back(
        [worker = m_worker.get(), outcome, call = std::forward<Call>(call)]() mutable {
            Result result = call();
            std::lock_guard resultLock(worker->mutex);
            outcome->result = std::move(result);
            worker->idle.notify_all();
        });
    m_worker->wake.notify_all();
    // `idle` also announces every finished call.
    if (!m_worker->idle.wait_for(lock, m_timeout, [&] { return outcome->result.has_value(); })) {
        m_worker->overdue = true;
        return unavailable;
    }
    return std::move(*outcome->result);
}

Status SecretServiceKeychain::copyMatching(const Query& query, QByteArray* data) {
    std::optional<Found> ahead = claimReadAhead(&query, m_timeout);
    const Found found =
        ahead ? std::move(*ahead)
              : run(Found{Status::notAvailable, {}}, true, [query] { return find(query); });
    if (found.first == Status::success && data != nullptr) {
        *data = found.second;
    }
    return found.first;
}

Status SecretServiceKeychain::update(const Query& query, const QByteArray& data) {
    claimReadAhead(nullptr, m_timeout);
    return run(Status::notAvailable, false, [query, data] {
        return withLibSecret(Status::notAvailable, [&](const LibSecret& secret) {
            Status status = Status::itemNotFound;
            for (const Sync flag : flagsOf(query.synchronizable)) {
                const Status replaced = replaceInPlace(secret, query, flag, data);
                if (replaced == Status::itemNotFound) {
                    continue;
                }
                status = replaced;
                if (status != Status::success) {
                    break;
                }
            }
            return status;
        });
    });
}

Status SecretServiceKeychain::add(const Query& query, const QByteArray& data) {
    claimReadAhead(nullptr, m_timeout);
    const Sync flag = query.synchronizable == Sync::yes ? Sync::yes : Sync::no;
    return run(Status::notAvailable, false, [query, data, flag] {
        return withLibSecret(Status::notAvailable, [&](const LibSecret& secret) {
            const Status found = lookup(secret, query, flag, nullptr);
            if (found == Status::success) {
                return Status::duplicateItem;
            }
            return found == Status::itemNotFound ? store(secret, query, flag, data) : found;
        });
    });
}

Status SecretServiceKeychain::remove(const Query& query) {
    claimReadAhead(nullptr, m_timeout);
    return run(Status::notAvailable, false, [query] {
        return withLibSecret(Status::notAvailable, [&](const LibSecret& secret) {
            // Not secret_password_clear(): it skips locked items and then reads as nothing found.
            GList* items = nullptr;
            Status status = search(secret, query, query.synchronizable, SECRET_SEARCH_ALL, &items);
            for (GList* node = items; node != nullptr; node = node->next) {
                auto* item = static_cast<SecretItem*>(node->data);
                Status removed = Status::locked;
                if (!secret.itemGetLocked(item)) {
                    GError* error = nullptr;
                    secret.itemDeleteSync(item, nullptr, &error);
                    removed = statusOf(secret, error);
                }
                // Every item is tried; one still there makes the delete a failure.
                if (status == Status::success) {
                    status = removed;
                }
            }
            g_list_free_full(items, secret.objectUnref);
            return status;
        });
    });
}

} // namespace quillon
