#include "core/storage/AuthTokenStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"

#include <QTest>
#include <QTimeZone>
#include <libsecret/secret.h>

using namespace quillon;

namespace {

const QString service = u"dev.tovrel.quillon.linkedin"_qs;
const QString account = u"linkedin.token"_qs;

LinkedInToken token(const QString& access, const QString& memberID = u"member-1"_qs) {
    LinkedInToken t;
    t.accessToken = access;
    t.profile.memberID = memberID;
    t.profile.name = u"Ada Lovelace"_qs;
    t.connectedAt = QDateTime(QDate(2026, 12, 10), QTime(9, 41, 3), QTimeZone::utc());
    return t;
}

// Items in the keyring with this service and account, whatever their other attributes.
int itemsInKeyring() {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"),
                        const_cast<char*>("dev.tovrel.quillon.linkedin"));
    g_hash_table_insert(attributes, const_cast<char*>("account"),
                        const_cast<char*>("linkedin.token"));
    GError* error = nullptr;
    GList* items =
        secret_password_searchv_sync(nullptr, attributes, SECRET_SEARCH_ALL, nullptr, &error);
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

} // namespace

class TestAuthTokenStore : public QObject {
    Q_OBJECT

    std::shared_ptr<SecretServiceKeychain> keychain;
    std::unique_ptr<AuthTokenStore> store;

private Q_SLOTS:
    void init() {
        keychain = std::make_shared<SecretServiceKeychain>();
        store = std::make_unique<AuthTokenStore>(account, service, keychain);
        store->deleteAll();
        QCOMPARE(itemsInKeyring(), 0);
    }

    void saveAddsThenUpdatesInPlace() {
        QCOMPARE(store->load(), std::nullopt);
        QCOMPARE(keychain->update(store->baseQuery(), "x"), KeychainBackend::Status::itemNotFound);

        store->save(token(u"first"_qs));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"first"_qs)));

        store->save(token(u"second"_qs));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"second"_qs)));

        // A second store over the same item, as at the next launch.
        AuthTokenStore again(account, service, std::make_shared<SecretServiceKeychain>());
        QCOMPARE(again.load(), std::optional<LinkedInToken>(token(u"second"_qs)));
    }

    void itemThatIsNotATokenReadsAsNoneAndIsOverwritten() {
        QCOMPARE(keychain->add(store->baseQuery(), "not a token"),
                 KeychainBackend::Status::success);
        QCOMPARE(store->load(), std::nullopt);
        LinkedInSessionStore session(std::make_shared<AuthTokenStore>(account, service, keychain));
        QVERIFY(!session.token());

        session.save(token(u"fresh"_qs));
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token(u"fresh"_qs)));
    }

    void deleteAllWidensToSynchronizableCopies() {
        KeychainBackend::Query synchronizable = store->baseQuery();
        synchronizable.synchronizable = KeychainBackend::Synchronizable::yes;
        QCOMPARE(keychain->add(synchronizable, token(u"synced"_qs).toJsonBytes()),
                 KeychainBackend::Status::success);
        store->save(token(u"local"_qs));
        QCOMPARE(itemsInKeyring(), 2);

        // A plain query neither sees nor deletes the synchronizable copy.
        store->deleteToken();
        QCOMPARE(itemsInKeyring(), 1);
        QCOMPARE(store->load(), std::nullopt);

        store->save(token(u"local"_qs));
        store->deleteAll();
        QCOMPARE(itemsInKeyring(), 0);
    }

    void sessionStoreFollowsTheKeychain() {
        auto tokenStore = std::make_shared<AuthTokenStore>(account, service, keychain);
        {
            LinkedInSessionStore session(tokenStore);
            QVERIFY(!session.isConnected());
            session.setStatusMessage(u"Connection failed"_qs);
            session.save(token(u"access"_qs));
            QVERIFY(session.isConnected());
            QCOMPARE(session.statusMessage(), std::nullopt);
            QCOMPARE(session.memberID(), std::optional<QString>(u"member-1"_qs));
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
        QTest::newRow("both") << u"a"_qs << u"m"_qs << true;
        QTest::newRow("empty member") << u"a"_qs << QString() << false;
        QTest::newRow("empty access") << QString() << u"m"_qs << false;
        QTest::newRow("spaces count") << u" "_qs << u" "_qs << true;
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
        keychain->add(synchronizable, token(u"synced"_qs).toJsonBytes());
        store->save(token(u"local"_qs));
        LinkedInSessionStore session(std::make_shared<AuthTokenStore>(account, service, keychain));
        session.forgetAccount();
        QVERIFY(!session.token());
        QCOMPARE(itemsInKeyring(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAuthTokenStore)
#include "tst_authtokenstore.moc"
