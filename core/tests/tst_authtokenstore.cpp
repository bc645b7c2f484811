#include "core/storage/AuthTokenStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SecretServiceSchema.h"
#include "core/storage/SqliteUserDefaults.h"
#include "tests/support/KeyringSession.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <gio/gio.h>
#include <libsecret/secret.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using quillon::testsupport::StalledKeyring;
namespace keyring = quillon::testsupport::keyring;

namespace {

const QString service = u"dev.tovrel.quillon.linkedin"_s;
const QString account = u"linkedin.token"_s;

LinkedInToken token(const QString& access, const QString& memberID = u"member-1"_s) {
    LinkedInToken t;
    t.accessToken = access;
    t.profile.memberID = memberID;
    t.profile.name = u"Ada Lovelace"_s;
    t.connectedAt = QDateTime(QDate(2026, 12, 10), QTime(9, 41, 3), QTimeZone::utc());
    return t;
}

// The token's service and account, as keyring attributes.
GHashTable* tokenAttributes() {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"),
                        const_cast<char*>("dev.tovrel.quillon.linkedin"));
    g_hash_table_insert(attributes, const_cast<char*>("account"),
                        const_cast<char*>("linkedin.token"));
    return attributes;
}

// Items in the keyring with this service and account, whatever their other attributes.
int itemsInKeyring() {
    GHashTable* attributes = tokenAttributes();
    GError* error = nullptr;
    // secret_password_searchv_sync() leaks inside libsecret 0.20; the service's search does not.
    GList* items = secret_service_search_sync(nullptr, nullptr, attributes, SECRET_SEARCH_ALL,
                                              nullptr, &error);
    g_hash_table_unref(attributes);
    if (error) {
        qWarning("search failed: %s", error->message);
        g_error_free(error);
        return -1;
    }
    const int count = int(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

// Attributes of the token's plain item, for writing one behind the store's back.
GHashTable* plainItemAttributes() {
    GHashTable* attributes = tokenAttributes();
    g_hash_table_insert(attributes, const_cast<char*>("synchronizable"),
                        const_cast<char*>("false"));
    return attributes;
}

// The real keychain, except that deletes never reach it: a keyring gone at log-out.
class DeletesLost final : public KeychainBackend {
public:
    explicit DeletesLost(std::shared_ptr<KeychainBackend> keychain)
        : m_keychain(std::move(keychain)) {}
    Status copyMatching(const Query& query, QByteArray* data) override {
        return m_keychain->copyMatching(query, data);
    }
    Status update(const Query& query, const QByteArray& data) override {
        return m_keychain->update(query, data);
    }
    Status add(const Query& query, const QByteArray& data) override {
        return m_keychain->add(query, data);
    }
    Status remove(const Query&) override { return Status::notAvailable; }

private:
    std::shared_ptr<KeychainBackend> m_keychain;
};

} // namespace

class TestAuthTokenStore : public QObject {
    Q_OBJECT

    std::shared_ptr<SecretServiceKeychain> keychain;
    std::unique_ptr<AuthTokenStore> store;

    // A new store over the same defaults file and keyring, as at the next start.
    static std::shared_ptr<AuthTokenStore>
    restarted(const QString& defaultsPath, std::shared_ptr<SecretServiceKeychain> keychain =
                                               std::make_shared<SecretServiceKeychain>()) {
        return std::make_shared<AuthTokenStore>(
            account, service, std::move(keychain),
            defaultsPath.isEmpty() ? nullptr : std::make_shared<SqliteUserDefaults>(defaultsPath));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(keyring::takePrompts()); }

    void init() {
        if (keyring::defaultCollectionIsLocked()) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
        keychain = std::make_shared<SecretServiceKeychain>();
        store = std::make_unique<AuthTokenStore>(account, service, keychain);
        store->deleteAll();
        QCOMPARE(itemsInKeyring(), 0);
    }

    void saveAddsThenUpdatesInPlace() {
        QCOMPARE(store->load(), std::nullopt);
        QCOMPARE(keychain->update(store->baseQuery(), "x"), KeychainBackend::Status::itemNotFound);

        store->save(token(u"first"_s));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"first"_s)));

        store->save(token(u"second"_s));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"second"_s)));

        // A second store over the same item, as at the next launch.
        AuthTokenStore again(account, service, std::make_shared<SecretServiceKeychain>());
        QCOMPARE(again.load(), std::optional<LinkedInToken>(token(u"second"_s)));
    }

    void anItemInAnotherKeyringIsUpdatedWhereItIs() {
        // The session keyring is not the default one the store adds to.
        GHashTable* attributes = plainItemAttributes();
        const QByteArray old = token(u"old"_s, u"someone-else"_s).toJsonBytes();
        SecretValue* value = secret_value_new(old.constData(), old.size(), "application/json");
        GError* error = nullptr;
        QVERIFY(secret_password_storev_binary_sync(secretServiceItemSchema(), attributes,
                                                   SECRET_COLLECTION_SESSION, "old token", value,
                                                   nullptr, &error));
        secret_value_unref(value);
        g_hash_table_unref(attributes);
        QVERIFY(!error);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"old"_s, u"someone-else"_s)));

        store->save(token(u"new"_s));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"new"_s)));
        QCOMPARE(AuthTokenStore(account, service, std::make_shared<SecretServiceKeychain>()).load(),
                 std::optional<LinkedInToken>(token(u"new"_s)));
    }

    // While the keyring keeps a call waiting (its prompt open), the call is neither cancelled
    // nor does it switch the keychain off: it lands once the keyring answers, with every call
    // made after it, in order.
    void aStalledKeyringFinishesEveryCallLater_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("itemsAfter");
        QTest::addColumn<QString>("tokenAfter");
        QTest::newRow("first sign-in") << u"save"_s << 1 << u"stalled"_s;
        QTest::newRow("sign-in over a token") << u"resave"_s << 1 << u"stalled"_s;
        QTest::newRow("log-out") << u"deleteToken"_s << 0 << QString();
        QTest::newRow("account deletion") << u"deleteAll"_s << 0 << QString();
        QTest::newRow("log-out, then sign-in") << u"deleteToken then save"_s << 1 << u"stalled"_s;
    }
    void aStalledKeyringFinishesEveryCallLater() {
        QFETCH(QString, action);
        QFETCH(int, itemsAfter);
        QFETCH(QString, tokenAfter);
        QTemporaryDir dir;
        auto defaults = std::make_shared<SqliteUserDefaults>(dir.filePath(u"defaults.sqlite3"_s));
        auto slow = std::make_shared<SecretServiceKeychain>(std::chrono::milliseconds(100));
        AuthTokenStore stalledStore(account, service, slow, defaults);
        if (action != u"save"_s) {
            stalledStore.save(token(u"before"_s));
            QCOMPARE(itemsInKeyring(), 1);
        }
        {
            StalledKeyring stalled;
            QVERIFY(stalled.isStalled());
            if (action.startsWith(u"delete"_s)) {
                action.startsWith(u"deleteAll"_s) ? stalledStore.deleteAll()
                                                  : stalledStore.deleteToken();
            }
            if (action.endsWith(u"save"_s)) {
                stalledStore.save(token(u"stalled"_s));
            }
            // Answered at once while the first call is overdue, and not read.
            QCOMPARE(slow->copyMatching(stalledStore.baseQuery(), nullptr),
                     KeychainBackend::Status::notAvailable);
        }
        slow->waitUntilIdle();
        QCOMPARE(itemsInKeyring(), itemsAfter);
        const auto expected =
            tokenAfter.isNull() ? std::nullopt : std::optional<LinkedInToken>(token(tokenAfter));
        // The same keychain reaches the keyring again, and so does the next launch.
        QCOMPARE(stalledStore.load(), expected);
        QCOMPARE(restarted(dir.filePath(u"defaults.sqlite3"_s))->load(), expected);
    }

    void aDeleteThatDidNotLandIsDoneAtTheNextStart_data() {
        QTest::addColumn<bool>("everyCopy");
        QTest::newRow("log-out") << false;
        QTest::newRow("account deletion") << true;
    }
    void aDeleteThatDidNotLandIsDoneAtTheNextStart() {
        QFETCH(bool, everyCopy);
        QTemporaryDir dir;
        const QString defaultsPath = dir.filePath(u"defaults.sqlite3"_s);
        store->save(token(u"kept by the keyring"_s));
        {
            AuthTokenStore loggingOut(account, service, std::make_shared<DeletesLost>(keychain),
                                      std::make_shared<SqliteUserDefaults>(defaultsPath));
            everyCopy ? loggingOut.deleteAll() : loggingOut.deleteToken();
            QCOMPARE(loggingOut.load(), std::nullopt);
        }
        QCOMPARE(itemsInKeyring(), 1);

        auto defaults = std::make_shared<SqliteUserDefaults>(defaultsPath);
        AuthTokenStore nextStart(account, service, keychain, defaults);
        QCOMPARE(nextStart.load(), std::nullopt);
        QCOMPARE(itemsInKeyring(), 0);
        QVERIFY(!defaults->value(nextStart.pendingDeletionKey()));

        // A later sign-in is kept.
        nextStart.save(token(u"signed in again"_s));
        QCOMPARE(AuthTokenStore(account, service, keychain, defaults).load(),
                 std::optional<LinkedInToken>(token(u"signed in again"_s)));
    }

    // A sign-in after a delete the keyring answered late survives every later start: the
    // remembered delete spares the token stored after it.
    void aSignInAfterADeleteAnsweredLateSurvivesTheNextStart_data() {
        QTest::addColumn<bool>("everyCopy");
        QTest::addColumn<bool>("signInWhileStalled");
        QTest::newRow("log-out, sign-in while stalled") << false << true;
        QTest::newRow("log-out, sign-in once answered") << false << false;
        QTest::newRow("account deletion, sign-in while stalled") << true << true;
        QTest::newRow("account deletion, sign-in once answered") << true << false;
    }
    void aSignInAfterADeleteAnsweredLateSurvivesTheNextStart() {
        QFETCH(bool, everyCopy);
        QFETCH(bool, signInWhileStalled);
        QTemporaryDir dir;
        const QString defaultsPath = dir.filePath(u"defaults.sqlite3"_s);
        auto slow = std::make_shared<SecretServiceKeychain>(std::chrono::milliseconds(100));
        LinkedInSessionStore session(restarted(defaultsPath, slow));
        session.save(token(u"before"_s));
        {
            StalledKeyring stalled;
            QVERIFY(stalled.isStalled());
            QCOMPARE(everyCopy ? session.forgetAccount() : session.signOut(),
                     TokenDeletion::recorded);
            QVERIFY(!session.token());
            if (signInWhileStalled) {
                session.save(token(u"after"_s));
            }
        }
        slow->waitUntilIdle();
        if (!signInWhileStalled) {
            session.save(token(u"after"_s));
        }
        slow->waitUntilIdle();
        QCOMPARE(itemsInKeyring(), 1);
        for (int start = 1; start <= 2; ++start) {
            LinkedInSessionStore next(restarted(defaultsPath));
            QVERIFY2(next.token() == token(u"after"_s), qPrintable(QString::number(start)));
        }
        QVERIFY(!SqliteUserDefaults(defaultsPath).value(store->pendingDeletionKey()).has_value());
    }

    // libsecret's own clear skips a locked item and reads as nothing found; a delete through the
    // keyring's unlock prompt is done, one whose prompt is dismissed is remembered and done once
    // the keyring is unlocked, and with nowhere to remember it the member stays signed in.
    void aDeleteTheLockedKeyringRefusedIsNeverTakenForDone_data() {
        QTest::addColumn<bool>("everyCopy");
        QTest::addColumn<bool>("unlockedAtPrompt");
        QTest::addColumn<bool>("withDefaults");
        QTest::addColumn<TokenDeletion>("deletion");
        QTest::newRow("log-out, unlocked at its prompt")
            << false << true << true << TokenDeletion::done;
        QTest::newRow("account deletion, unlocked at its prompt")
            << true << true << true << TokenDeletion::done;
        QTest::newRow("log-out, prompt dismissed")
            << false << false << true << TokenDeletion::recorded;
        QTest::newRow("account deletion, prompt dismissed")
            << true << false << true << TokenDeletion::recorded;
        QTest::newRow("log-out, prompt dismissed, nowhere to remember")
            << false << false << false << TokenDeletion::keyringLocked;
    }
    void aDeleteTheLockedKeyringRefusedIsNeverTakenForDone() {
        QFETCH(bool, everyCopy);
        QFETCH(bool, unlockedAtPrompt);
        QFETCH(bool, withDefaults);
        QFETCH(TokenDeletion, deletion);
        QTemporaryDir dir;
        const QString defaultsPath = withDefaults ? dir.filePath(u"defaults.sqlite3"_s) : QString();
        store->save(token(u"kept"_s));
        LinkedInSessionStore session(restarted(defaultsPath));
        QVERIFY(session.isConnected());

        QVERIFY(keyring::lockDefaultCollection());
        unlockedAtPrompt ? keyring::answerNextPrompt() : keyring::dismissNextPrompt();
        QCOMPARE(everyCopy ? session.forgetAccount() : session.signOut(), deletion);
        QVERIFY(keyring::promptsShown());
        QCOMPARE(keyring::defaultCollectionIsLocked(), !unlockedAtPrompt);
        const bool kept = deletion == TokenDeletion::keyringLocked;
        QCOMPARE(session.isConnected(), kept);
        QCOMPARE(itemsInKeyring(), deletion == TokenDeletion::done ? 0 : 1);

        // Unlocked later; the next start finds what the member was told.
        if (!unlockedAtPrompt) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
        LinkedInSessionStore next(restarted(defaultsPath));
        QCOMPARE(next.isConnected(), kept);
        QCOMPARE(itemsInKeyring(), kept ? 1 : 0);
    }

    // A log-out while the daemon is stopped is remembered: whether the daemon answers late or
    // is ended before it carried the delete out, the next start finds the member signed out.
    void aLogOutWhileTheDaemonIsStoppedIsDoneByTheNextStart_data() {
        QTest::addColumn<bool>("daemonEnded");
        QTest::newRow("resumed") << false;
        QTest::newRow("ended while stopped") << true;
    }
    void aLogOutWhileTheDaemonIsStoppedIsDoneByTheNextStart() {
        QFETCH(bool, daemonEnded);
        QTemporaryDir dir;
        const QString defaultsPath = dir.filePath(u"defaults.sqlite3"_s);
        auto slow = std::make_shared<SecretServiceKeychain>(std::chrono::milliseconds(100));
        {
            LinkedInSessionStore session(restarted(defaultsPath, slow));
            session.save(token(u"before"_s));
            StalledKeyring stalled;
            QVERIFY(stalled.isStalled());
            QCOMPARE(session.signOut(), TokenDeletion::recorded);
            QVERIFY(!session.token());
            if (daemonEnded) {
                QVERIFY(stalled.killDaemon());
                QVERIFY(keyring::startDaemon());
                slow->waitUntilIdle();
                QCOMPARE(itemsInKeyring(), 1);
            }
        }
        slow->waitUntilIdle();
        LinkedInSessionStore next(restarted(defaultsPath));
        QVERIFY(!next.token());
        QCOMPARE(itemsInKeyring(), 0);
        QVERIFY(!SqliteUserDefaults(defaultsPath).value(store->pendingDeletionKey()).has_value());
    }

    // On a new user's first sign-in there is no keyring yet: the token's item creates it
    // through the keyring's own prompt for a new password. A dismissed prompt is the locked
    // collection's case below.
    void theFirstItemCreatesTheKeyringThroughItsPrompt() {
        QTemporaryDir newUser;
        QVERIFY(keyring::startDaemon(newUser.path()));
        keyring::answerNextPrompt();
        QCOMPARE(SecretServiceKeychain().add(store->baseQuery(), token(u"first"_s).toJsonBytes()),
                 KeychainBackend::Status::success);
        QVERIFY(keyring::promptsShown());
        QCOMPARE(AuthTokenStore(account, service, std::make_shared<SecretServiceKeychain>()).load(),
                 std::optional<LinkedInToken>(token(u"first"_s)));
        QVERIFY(keyring::startDaemon());
    }

    // The token's first item in a locked default collection is created through the keyring's
    // unlock prompt, or visibly not at all.
    void aSaveIntoTheLockedKeyringGoesThroughItsPrompt_data() {
        QTest::addColumn<bool>("unlockedAtPrompt");
        QTest::addColumn<KeychainBackend::Status>("status");
        QTest::newRow("unlocked at its prompt") << true << KeychainBackend::Status::success;
        QTest::newRow("prompt dismissed") << false << KeychainBackend::Status::locked;
    }
    void aSaveIntoTheLockedKeyringGoesThroughItsPrompt() {
        QFETCH(bool, unlockedAtPrompt);
        QFETCH(KeychainBackend::Status, status);
        QVERIFY(keyring::lockDefaultCollection());
        unlockedAtPrompt ? keyring::answerNextPrompt() : keyring::dismissNextPrompt();
        QCOMPARE(keychain->add(store->baseQuery(), token(u"new"_s).toJsonBytes()), status);
        QVERIFY(keyring::promptsShown());
        QCOMPARE(keyring::defaultCollectionIsLocked(), !unlockedAtPrompt);
        if (!unlockedAtPrompt) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
        QCOMPARE(itemsInKeyring(), unlockedAtPrompt ? 1 : 0);
    }

    // A token the keyring does not keep is said, not taken for kept: the member stays connected
    // for this session and is told that the next start will not find it.
    void aSaveTheKeyringDidNotKeepIsTold_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("tokenBefore");
        QTest::addColumn<TokenSave>("saved");
        QTest::addColumn<QString>("message");
        const QString locked = u"Connected for this session only: the keyring is locked."_s;
        QTest::newRow("locked, unlocked at its prompt")
            << u"answered"_s << false << TokenSave::kept << QString();
        QTest::newRow("locked, prompt dismissed")
            << u"dismissed"_s << false << TokenSave::keyringLocked << locked;
        QTest::newRow("locked over a token, prompt dismissed")
            << u"dismissed"_s << true << TokenSave::keyringLocked << locked;
        QTest::newRow("daemon stopped")
            << u"stalled"_s << false << TokenSave::keyringUnavailable
            << u"Connected, but the keyring does not answer: you may have to connect again at "
               "the next start."_s;
    }
    void aSaveTheKeyringDidNotKeepIsTold() {
        QFETCH(QString, situation);
        QFETCH(bool, tokenBefore);
        QFETCH(TokenSave, saved);
        QFETCH(QString, message);
        // Only a stalled keyring is to be given up on quickly; a live one that answers slowly
        // on a busy machine must not be taken for stalled.
        auto slow = situation == u"stalled"_s
                        ? std::make_shared<SecretServiceKeychain>(std::chrono::milliseconds(100))
                        : std::make_shared<SecretServiceKeychain>();
        LinkedInSessionStore session(restarted({}, slow));
        if (tokenBefore) {
            QCOMPARE(session.save(token(u"before"_s)), TokenSave::kept);
        }
        session.setStatusMessage(u"an earlier outcome"_s);
        {
            std::optional<StalledKeyring> stalled;
            if (situation == u"stalled"_s) {
                stalled.emplace();
                QVERIFY(stalled->isStalled());
            } else {
                QVERIFY(keyring::lockDefaultCollection());
                situation == u"answered"_s ? keyring::answerNextPrompt()
                                           : keyring::dismissNextPrompt();
            }
            QCOMPARE(session.save(token(u"new"_s)), saved);
            // Connected for this session whatever the keyring did.
            QCOMPARE(session.token(), std::optional<LinkedInToken>(token(u"new"_s)));
            QCOMPARE(session.statusMessage(),
                     message.isNull() ? std::nullopt : std::optional<QString>(message));
        }
        QVERIFY(keyring::promptsShown());
        slow->waitUntilIdle();
        if (keyring::defaultCollectionIsLocked()) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
        // A stopped daemon carries the write out once it runs again, which the member was not
        // promised; a locked keyring never does.
        const std::optional<LinkedInToken> next = restarted({})->load();
        if (saved == TokenSave::keyringLocked) {
            QCOMPARE(next,
                     tokenBefore ? std::optional<LinkedInToken>(token(u"before"_s)) : std::nullopt);
        } else {
            QCOMPARE(next, std::optional<LinkedInToken>(token(u"new"_s)));
        }
    }

    // A connection writes its token and the session writes it again: a member who dismissed
    // the keyring's prompt for it is not asked a second time; a later token is asked for.
    void aTokenRefusedAtThePromptIsNotAskedForTwice() {
        QVERIFY(keyring::lockDefaultCollection());
        keyring::dismissNextPrompt();
        QCOMPARE(store->save(token(u"new"_s)), TokenSave::keyringLocked);
        QVERIFY(keyring::promptsShown());

        // Were the keyring asked again, this answer would unlock it.
        keyring::answerNextPrompt();
        QCOMPARE(store->save(token(u"new"_s)), TokenSave::keyringLocked);
        QVERIFY(!keyring::promptsShown());
        QVERIFY(keyring::defaultCollectionIsLocked());

        QCOMPARE(store->save(token(u"later"_s)), TokenSave::kept);
        QVERIFY(keyring::promptsShown());
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"later"_s)));
    }

    // A read of a locked item whose prompt is dismissed is not "not found": a delete waiting
    // for it stays remembered.
    void aLockedItemIsNotReadAsMissing() {
        store->save(token(u"kept"_s));
        QVERIFY(keyring::lockDefaultCollection());
        keyring::dismissNextPrompt();
        QCOMPARE(keychain->copyMatching(store->baseQuery(), nullptr),
                 KeychainBackend::Status::locked);
        QVERIFY(keyring::promptsShown());
        keyring::dismissNextPrompt();
        QCOMPARE(keychain->remove(store->baseQuery()), KeychainBackend::Status::locked);
        QVERIFY(keyring::unlockDefaultCollection());
        QCOMPARE(itemsInKeyring(), 1);
    }

    void itemThatIsNotATokenReadsAsNoneAndIsOverwritten() {
        QCOMPARE(keychain->add(store->baseQuery(), "not a token"),
                 KeychainBackend::Status::success);
        QCOMPARE(store->load(), std::nullopt);
        LinkedInSessionStore session(std::make_shared<AuthTokenStore>(account, service, keychain));
        QVERIFY(!session.token());

        session.save(token(u"fresh"_s));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"fresh"_s)));
    }

    void deleteAllWidensToSynchronizableCopies() {
        KeychainBackend::Query synchronizable = store->baseQuery();
        synchronizable.synchronizable = KeychainBackend::Synchronizable::yes;
        QCOMPARE(keychain->add(synchronizable, token(u"synced"_s).toJsonBytes()),
                 KeychainBackend::Status::success);
        store->save(token(u"local"_s));
        QCOMPARE(itemsInKeyring(), 2);

        // A plain query neither sees nor deletes the synchronizable copy.
        store->deleteToken();
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::nullopt);

        store->save(token(u"local"_s));
        store->deleteAll();
        QCOMPARE(itemsInKeyring(), 0);
    }

    void sessionStoreFollowsTheKeychain() {
        auto tokenStore = std::make_shared<AuthTokenStore>(account, service, keychain);
        {
            LinkedInSessionStore session(tokenStore);
            QVERIFY(!session.isConnected());
            session.setStatusMessage(u"Connection failed"_s);
            session.save(token(u"access"_s));
            QVERIFY(session.isConnected());
            QCOMPARE(session.statusMessage(), std::nullopt);
            QCOMPARE(session.memberID(), std::optional<QString>(u"member-1"_s));
        }
        {
            LinkedInSessionStore session(tokenStore);
            QVERIFY(session.isConnected());
            session.signOut();
            QVERIFY(!session.token());
        }
        LinkedInSessionStore afterRestart(
            std::make_shared<AuthTokenStore>(account, service, keychain));
        QVERIFY(!afterRestart.token());
    }

    void connectionNeedsAccessTokenAndMemberID_data() {
        QTest::addColumn<QString>("access");
        QTest::addColumn<QString>("memberID");
        QTest::addColumn<bool>("connected");
        QTest::newRow("both") << u"a"_s << u"m"_s << true;
        QTest::newRow("empty member") << u"a"_s << QString() << false;
        QTest::newRow("empty access") << QString() << u"m"_s << false;
        QTest::newRow("spaces count") << u" "_s << u" "_s << true;
    }

    void connectionNeedsAccessTokenAndMemberID() {
        QFETCH(QString, access);
        QFETCH(QString, memberID);
        QFETCH(bool, connected);
        store->save(token(access, memberID));
        LinkedInSessionStore session(std::make_shared<AuthTokenStore>(account, service, keychain));
        QVERIFY(session.token());
        QCOMPARE(session.isConnected(), connected);
        // Credentials are passed on as they are; the post client judges them.
        QCOMPARE(session.postingCredentials()->accessToken, access);
        QCOMPARE(session.postingCredentials()->memberID, memberID);
    }

    void forgetAccountDeletesEveryCopy() {
        KeychainBackend::Query synchronizable = store->baseQuery();
        synchronizable.synchronizable = KeychainBackend::Synchronizable::yes;
        keychain->add(synchronizable, token(u"synced"_s).toJsonBytes());
        store->save(token(u"local"_s));
        LinkedInSessionStore session(std::make_shared<AuthTokenStore>(account, service, keychain));
        session.forgetAccount();
        QVERIFY(!session.token());
        QCOMPARE(itemsInKeyring(), 0);
    }

    // A read finds an item exactly when its attributes match, whichever of the keychain's paths
    // answers: a search that certainly finds nothing answers without libsecret.
    void aReadFindsAnItemByItsSynchronizableFlag_data() {
        using Sync = KeychainBackend::Synchronizable;
        QTest::addColumn<std::optional<Sync>>("stored");
        QTest::addColumn<Sync>("read");
        QTest::addColumn<KeychainBackend::Status>("status");
        const auto found = KeychainBackend::Status::success;
        const auto none = KeychainBackend::Status::itemNotFound;
        QTest::newRow("nothing stored") << std::optional<Sync>() << Sync::any << none;
        QTest::newRow("plain, read plain") << std::optional(Sync::no) << Sync::no << found;
        QTest::newRow("plain, read any") << std::optional(Sync::no) << Sync::any << found;
        QTest::newRow("plain, read synchronizable") << std::optional(Sync::no) << Sync::yes << none;
        QTest::newRow("synchronizable, read any") << std::optional(Sync::yes) << Sync::any << found;
        QTest::newRow("synchronizable, read plain") << std::optional(Sync::yes) << Sync::no << none;
    }
    void aReadFindsAnItemByItsSynchronizableFlag() {
        using Sync = KeychainBackend::Synchronizable;
        QFETCH(std::optional<Sync>, stored);
        QFETCH(Sync, read);
        QFETCH(KeychainBackend::Status, status);
        if (stored) {
            QCOMPARE(keychain->add({service, account, *stored}, "secret"),
                     KeychainBackend::Status::success);
        }
        QByteArray data;
        QCOMPARE(SecretServiceKeychain().copyMatching({service, account, read}, &data), status);
        QCOMPARE(data, status == KeychainBackend::Status::success ? "secret" : QByteArray());
    }

    // The start-up reads the token ahead, before any store exists: the next launch's store
    // takes that answer unless something was written or deleted since.
    void aTokenReadAheadNeverHidesALaterChange_data() {
        QTest::addColumn<QString>("aheadAccount");
        QTest::addColumn<QString>("change");
        QTest::addColumn<std::optional<LinkedInToken>>("loaded");
        QTest::newRow("unchanged")
            << account << u""_s << std::optional<LinkedInToken>(token(u"first"_s));
        QTest::newRow("saved since")
            << account << u"save"_s << std::optional<LinkedInToken>(token(u"second"_s));
        QTest::newRow("deleted since") << account << u"delete"_s << std::optional<LinkedInToken>();
        QTest::newRow("another item ahead")
            << u"other.token"_s << u""_s << std::optional<LinkedInToken>(token(u"first"_s));
    }

    void aTokenReadAheadNeverHidesALaterChange() {
        QFETCH(QString, aheadAccount);
        QFETCH(QString, change);
        QFETCH(std::optional<LinkedInToken>, loaded);
        store->save(token(u"first"_s));
        SecretServiceKeychain::readAhead(AuthTokenStore::queryFor(aheadAccount, service));
        // A round trip to the service, so the read ahead has most likely been answered.
        QCOMPARE(itemsInKeyring(), 1);
        if (change == u"save") {
            store->save(token(u"second"_s));
        } else if (change == u"delete") {
            store->deleteToken();
        }
        AuthTokenStore next(account, service, std::make_shared<SecretServiceKeychain>());
        QCOMPARE(next.load(), loaded);
    }
};

QTEST_GUILESS_MAIN(TestAuthTokenStore)
#include "tst_authtokenstore.moc"
