#include "core/storage/AuthTokenStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;

// Runs without any D-Bus session: the keychain cannot be reached at all.
class TestKeychainUnavailable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A delete nobody carried out is remembered in the defaults, and the member is signed out;
    // with nowhere to remember it the token might come back, so the member stays signed in.
    void everyOperationDegradesToSignedOut_data() {
        QTest::addColumn<bool>("withDefaults");
        QTest::addColumn<TokenDeletion>("deletion");
        QTest::newRow("defaults remember the delete") << true << TokenDeletion::recorded;
        QTest::newRow("nothing remembers it") << false << TokenDeletion::keyringUnavailable;
    }
    void everyOperationDegradesToSignedOut() {
        QFETCH(bool, withDefaults);
        QFETCH(TokenDeletion, deletion);
        QVERIFY(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
        QTemporaryDir dir;
        auto defaults =
            withDefaults ? std::make_shared<SqliteUserDefaults>(dir.filePath(u"defaults.sqlite3"_s))
                         : nullptr;
        // As the app's start-up does: the read ahead fails on its own thread and says so.
        SecretServiceKeychain::readAhead({u"s"_s, u"a"_s});
        auto keychain = std::make_shared<SecretServiceKeychain>();
        QCOMPARE(keychain->copyMatching({u"s"_s, u"a"_s}, nullptr),
                 KeychainBackend::Status::notAvailable);

        auto tokenStore = std::make_shared<AuthTokenStore>(u"a"_s, u"s"_s, keychain, defaults);
        LinkedInSessionStore session(tokenStore);
        QVERIFY(!session.token());

        LinkedInToken token;
        token.accessToken = u"t"_s;
        token.profile.memberID = u"m"_s;
        token.connectedAt = QDateTime::currentDateTimeUtc();
        session.save(token);
        // The write is dropped, the published token stays as set.
        QVERIFY(session.isConnected());
        QCOMPARE(tokenStore->load(), std::nullopt);
        QCOMPARE(session.forgetAccount(), deletion);
        QCOMPARE(session.isConnected(), !withDefaults);
        if (withDefaults) {
            QVERIFY(defaults->value(tokenStore->pendingDeletionKey()).has_value());
        }
    }
};

QTEST_GUILESS_MAIN(TestKeychainUnavailable)
#include "tst_keychainunavailable.moc"
