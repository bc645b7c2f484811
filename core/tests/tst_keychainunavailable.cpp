#include "core/storage/AuthTokenStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"

#include <QTest>

using namespace quillon;

// Runs without any D-Bus session: the keychain cannot be reached at all.
class TestKeychainUnavailable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyOperationDegradesToSignedOut() {
        QVERIFY(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
        // As the app's start-up does: the read ahead fails on its own thread and says so.
        SecretServiceKeychain::readAhead({u"s"_qs, u"a"_qs});
        auto keychain = std::make_shared<SecretServiceKeychain>();
        QCOMPARE(keychain->copyMatching({u"s"_qs, u"a"_qs}, nullptr),
                 KeychainBackend::Status::notAvailable);

        auto tokenStore = std::make_shared<AuthTokenStore>(u"a"_qs, u"s"_qs, keychain);
        LinkedInSessionStore session(tokenStore);
        QVERIFY(!session.token());

        LinkedInToken token;
        token.accessToken = u"t"_qs;
        token.profile.memberID = u"m"_qs;
        token.connectedAt = QDateTime::currentDateTimeUtc();
        session.save(token);
        // The write is dropped, the published token stays as set.
        QVERIFY(session.isConnected());
        QCOMPARE(tokenStore->load(), std::nullopt);
        session.forgetAccount();
        QVERIFY(!session.token());
    }
};

QTEST_GUILESS_MAIN(TestKeychainUnavailable)
#include "tst_keychainunavailable.moc"
