#include "tests/support/KeyringSession.h"

#define GCR_API_SUBJECT_TO_CHANGE
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <gcr/gcr-base.h>
#include <libsecret/secret.h>
#include <utility>

using namespace Qt::StringLiterals;

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

// The process owning the Secret Service's name on the session bus, 0 when none does. Asking
// never starts one.
pid_t secretServiceOwner() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return 0;
    }
    guint32 pid = 0;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetConnectionUnixProcessID", g_variant_new("(s)", "org.freedesktop.secrets"),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (reply != nullptr) {
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return pid_t(pid);
}

// Waits up to five seconds for the name to be owned by another process than `previous` (0:
// by any).
bool waitForOwnerOtherThan(pid_t previous) {
    for (int tries = 0; tries < 100; ++tries) {
        const pid_t owner = secretServiceOwner();
        if (owner != 0 && owner != previous) {
            return true;
        }
        g_usleep(50 * 1000);
    }
    return false;
}

} // namespace

namespace keyring {

bool takePrompts() {
    return startDaemon();
}

bool startDaemon(const QString& dataHome) {
    // Started once; it answers for every daemon after.
    static const QByteArray prompter = QByteArray(gcr_mock_prompter_start());
    if (prompter.isEmpty()) {
        return false;
    }
    // gnome-keyring reads the prompter's bus name from this variable when it starts, so the
    // daemon run-test started is replaced by one that has it.
    QProcess daemon;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GNOME_KEYRING_TEST_PROMPTER"_s, QString::fromUtf8(prompter));
    QStringList arguments{u"--replace"_s, u"--daemonize"_s, u"--components=secrets"_s};
    if (dataHome.isEmpty()) {
        arguments.append(u"--unlock"_s);
    } else {
        environment.insert(u"XDG_DATA_HOME"_s, dataHome);
    }
    daemon.setProcessEnvironment(environment);
    const pid_t previous = secretServiceOwner();
    daemon.start(u"gnome-keyring-daemon"_s, arguments);
    if (!daemon.waitForStarted()) {
        return false;
    }
    if (dataHome.isEmpty()) {
        daemon.write(password);
    }
    daemon.closeWriteChannel();
    if (!daemon.waitForFinished() || daemon.exitStatus() != QProcess::NormalExit ||
        daemon.exitCode() != 0) {
        return false;
    }
    // A call while the name has no owner would have the bus start a daemon of its own.
    if (!waitForOwnerOtherThan(previous)) {
        return false;
    }
    // libsecret keeps its connection to the daemon before; a new process would start afresh.
    secret_service_disconnect();
    return !dataHome.isEmpty() || !defaultCollectionIsLocked();
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

StalledKeyring::StalledKeyring()
    : m_pid(secretServiceOwner()) {
    if (m_pid > 0 && ::kill(m_pid, SIGSTOP) != 0) {
        m_pid = 0;
    }
}

StalledKeyring::~StalledKeyring() {
    resume();
}

bool StalledKeyring::killDaemon() {
    if (m_pid <= 0 || ::kill(m_pid, SIGKILL) != 0) {
        return false;
    }
    const pid_t killed = std::exchange(m_pid, 0);
    for (int tries = 0; tries < 100; ++tries) {
        if (secretServiceOwner() != killed) {
            return true;
        }
        g_usleep(50 * 1000);
    }
    return false;
}

void StalledKeyring::resume() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGCONT);
        m_pid = 0;
    }
}

} // namespace quillon::testsupport
