#include "tests/support/KeyringSession.h"

#define GCR_API_SUBJECT_TO_CHANGE
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <gcr/gcr-base.h>
#include <libsecret/secret.h>

namespace quillon::testsupport {

namespace {

// The password run-test's keyring is unlocked with.
constexpr const char* password = "pw";

void warn(const char* what, GError* error) {
    if (error != nullptr) {
        qWarning("%s: %s", what, error->message);
        g_error_free(error);
    }
}

// The default collection, none when the service or the collection cannot be reached.
SecretCollection* defaultCollection(SecretService** service) {
    GError* error = nullptr;
    *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (*service == nullptr) {
        warn("no secret service", error);
        return nullptr;
    }
    SecretCollection* collection = secret_collection_for_alias_sync(
        *service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    if (collection == nullptr) {
        warn("no default collection", error);
    }
    return collection;
}

// Locks or unlocks the default collection; true when it then is as asked.
bool setLocked(bool locked) {
    SecretService* service = nullptr;
    SecretCollection* collection = defaultCollection(&service);
    bool done = false;
    if (collection != nullptr) {
        GList* objects = g_list_append(nullptr, collection);
        GError* error = nullptr;
        if (locked) {
            secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
        } else {
            secret_service_unlock_sync(service, objects, nullptr, nullptr, &error);
        }
        warn(locked ? "lock failed" : "unlock failed", error);
        g_list_free(objects);
        done = bool(secret_collection_get_locked(collection)) == locked;
        g_object_unref(collection);
    }
    if (service != nullptr) {
        g_object_unref(service);
    }
    return done;
}

} // namespace

namespace keyring {

bool takePrompts() {
    const gchar* prompter = gcr_mock_prompter_start();
    if (prompter == nullptr) {
        return false;
    }
    // gnome-keyring reads the prompter's bus name from this variable when it starts; the
    // daemon run-test started is replaced by one that has it, over the same keyring files.
    QProcess daemon;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GNOME_KEYRING_TEST_PROMPTER"_qs, QString::fromUtf8(prompter));
    daemon.setProcessEnvironment(environment);
    daemon.start(u"gnome-keyring-daemon"_qs,
                 {u"--replace"_qs, u"--daemonize"_qs, u"--unlock"_qs, u"--components=secrets"_qs});
    if (!daemon.waitForStarted()) {
        return false;
    }
    daemon.write(password);
    daemon.closeWriteChannel();
    return daemon.waitForFinished() && daemon.exitStatus() == QProcess::NormalExit &&
           daemon.exitCode() == 0 && !defaultCollectionIsLocked();
}

void answerNextPrompt() {
    gcr_mock_prompter_expect_password_ok(password, nullptr);
}

void dismissNextPrompt() {
    gcr_mock_prompter_expect_password_cancel();
}

bool promptsShown() {
    return !gcr_mock_prompter_is_expecting();
}

bool lockDefaultCollection() {
    return setLocked(true);
}

bool unlockDefaultCollection() {
    answerNextPrompt();
    return setLocked(false) && promptsShown();
}

bool defaultCollectionIsLocked() {
    SecretService* service = nullptr;
    SecretCollection* collection = defaultCollection(&service);
    bool locked = false;
    if (collection != nullptr) {
        locked = secret_collection_get_locked(collection);
        g_object_unref(collection);
    }
    if (service != nullptr) {
        g_object_unref(service);
    }
    return locked;
}

} // namespace keyring

StalledKeyring::StalledKeyring() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus != nullptr) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetConnectionUnixProcessID", g_variant_new("(s)", "org.freedesktop.secrets"),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
        if (reply != nullptr) {
            guint32 pid = 0;
            g_variant_get(reply, "(u)", &pid);
            g_variant_unref(reply);
            m_pid = pid_t(pid);
        }
        g_object_unref(bus);
    }
    warn("no keyring daemon", error);
    if (m_pid > 0 && ::kill(m_pid, SIGSTOP) != 0) {
        m_pid = 0;
    }
}

StalledKeyring::~StalledKeyring() {
    resume();
}

void StalledKeyring::resume() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGCONT);
        m_pid = 0;
    }
}

} // namespace quillon::testsupport
