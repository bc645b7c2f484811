#include "core/storage/SecretServiceKeychain.h"

#include <QList>
#include <condition_variable>
#include <libsecret/secret.h>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon {
namespace {

const SecretSchema* schema() {
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

using Sync = KeychainBackend::Synchronizable;
using Status = KeychainBackend::Status;

// Attribute table of a query; a widened query leaves "synchronizable" out.
struct Attributes {
    Attributes(const KeychainBackend::Query& query, Sync sync)
        : service(query.service.toUtf8())
        , account(query.account.toUtf8())
        , table(g_hash_table_new(g_str_hash, g_str_equal)) {
        g_hash_table_insert(table, const_cast<char*>("service"), service.data());
        g_hash_table_insert(table, const_cast<char*>("account"), account.data());
        if (sync != Sync::any) {
            g_hash_table_insert(table, const_cast<char*>("synchronizable"),
                                const_cast<char*>(sync == Sync::yes ? "true" : "false"));
        }
    }
    ~Attributes() { g_hash_table_unref(table); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;

    QByteArray service;
    QByteArray account;
    GHashTable* table;
};

Status statusOf(GError* error) {
    if (error == nullptr) {
        return Status::success;
    }
    const bool noService = error->domain == G_DBUS_ERROR || error->domain == G_IO_ERROR;
    g_error_free(error);
    return noService ? Status::notAvailable : Status::failed;
}

Status lookup(const KeychainBackend::Query& query, Sync sync, QByteArray* data,
              GCancellable* cancellable) {
    Attributes attributes(query, sync);
    GError* error = nullptr;
    SecretValue* value =
        secret_password_lookupv_binary_sync(schema(), attributes.table, cancellable, &error);
    if (error != nullptr) {
        return statusOf(error);
    }
    if (value == nullptr) {
        return Status::itemNotFound;
    }
    if (data != nullptr) {
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        *data = QByteArray(bytes, static_cast<qsizetype>(length));
    }
    secret_value_unref(value);
    return Status::success;
}

Status store(const KeychainBackend::Query& query, Sync sync, const QByteArray& data,
             GCancellable* cancellable) {
    Attributes attributes(query, sync);
    SecretValue* value = secret_value_new(data.constData(), data.size(), "application/json");
    const QByteArray label = query.service.toUtf8();
    GError* error = nullptr;
    secret_password_storev_binary_sync(schema(), attributes.table, SECRET_COLLECTION_DEFAULT,
                                       label.constData(), value, cancellable, &error);
    secret_value_unref(value);
    return statusOf(error);
}

// The concrete flag values a query matches.
QList<Sync> flagsOf(Sync sync) {
    return sync == Sync::any ? QList<Sync>{Sync::no, Sync::yes} : QList<Sync>{sync};
}

} // namespace

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds timeout)
    : m_timeout(timeout) {}

void SecretServiceKeychain::connectAhead() {
    std::thread([] {
        // libsecret shares the service it connected to with every later call while a
        // reference is held; this one is never given back. A failure is left to those calls.
        SecretService* kept =
            secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, nullptr);
        Q_UNUSED(kept);
    }).detach();
}

// Runs `call(cancellable)` on a worker thread and waits at most m_timeout for it. On time-out
// the call is cancelled and left to finish on its own; its result is dropped.
template <typename Result, typename Call>
Result SecretServiceKeychain::bounded(Result unavailable, Call&& call) {
    if (m_unavailable.load()) {
        return unavailable;
    }
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        GCancellable* cancellable = g_cancellable_new();
        ~Shared() { g_object_unref(cancellable); }
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call = std::forward<Call>(call)]() mutable {
        Result result = call(shared->cancellable);
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->done.notify_all();
    }).detach();

    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, m_timeout, [&] { return shared->result.has_value(); })) {
        g_cancellable_cancel(shared->cancellable);
        m_unavailable.store(true);
        return unavailable;
    }
    return std::move(*shared->result);
}

Status SecretServiceKeychain::copyMatching(const Query& query, QByteArray* data) {
    using Found = std::pair<Status, QByteArray>;
    const Found found = bounded(Found{Status::notAvailable, {}}, [query](GCancellable* c) {
        Found result{Status::itemNotFound, {}};
        for (const Sync flag : flagsOf(query.synchronizable)) {
            result.first = lookup(query, flag, &result.second, c);
            if (result.first != Status::itemNotFound) {
                break;
            }
        }
        return result;
    });
    if (found.first == Status::success && data != nullptr) {
        *data = found.second;
    }
    return found.first;
}

Status SecretServiceKeychain::update(const Query& query, const QByteArray& data) {
    return bounded(Status::notAvailable, [query, data](GCancellable* c) {
        Status status = Status::itemNotFound;
        for (const Sync flag : flagsOf(query.synchronizable)) {
            const Status found = lookup(query, flag, nullptr, c);
            if (found == Status::itemNotFound) {
                continue;
            }
            // Storing under identical attributes replaces the item's secret in place.
            status = found == Status::success ? store(query, flag, data, c) : found;
            if (status != Status::success) {
                break;
            }
        }
        return status;
    });
}

Status SecretServiceKeychain::add(const Query& query, const QByteArray& data) {
    const Sync flag = query.synchronizable == Sync::yes ? Sync::yes : Sync::no;
    return bounded(Status::notAvailable, [query, data, flag](GCancellable* c) {
        const Status found = lookup(query, flag, nullptr, c);
        if (found == Status::success) {
            return Status::duplicateItem;
        }
        return found == Status::itemNotFound ? store(query, flag, data, c) : found;
    });
}

Status SecretServiceKeychain::remove(const Query& query) {
    return bounded(Status::notAvailable, [query](GCancellable* c) {
        Attributes attributes(query, query.synchronizable);
        GError* error = nullptr;
        const gboolean removed = secret_password_clearv_sync(schema(), attributes.table, c, &error);
        if (error != nullptr) {
            return statusOf(error);
        }
        return removed ? Status::success : Status::itemNotFound;
    });
}

} // namespace quillon
