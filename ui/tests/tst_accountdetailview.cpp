#include "core/backend/LinkedInAuthService.h"
#include "core/flows/AccountFlow.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/SqliteWriteLock.h"
#include "tests/support/TestBackend.h"
#include "ui/account/AccountDetailView.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/account/DeleteAccountDialog.h"
#include "ui/account/NavigationStack.h"
#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/KeyboardWalk.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;
using Event = AppTelemetryEvent;
namespace keyring = quillon::testsupport::keyring;

namespace {

const QString tokenKey = configurationFor({}).storage.linkedInTokenKey;
const QString keychainService = AppContainer::keychainService();

// The settings pane over the app's container and the stand-in backend, with the account page
// opened the way a user opens it.
struct Page {
    QList<Event> events;
    TestBackend backend;
    AppFixture app;
    std::unique_ptr<AccountSettingsView> settings;

    explicit Page(std::optional<LinkedInToken> token = tokenFor(u"m1"_s),
                  std::optional<QUrl> baseURL = std::nullopt)
        : app(baseURL.value_or(backend.baseURL())) {
        if (token) {
            app.session().save(*token);
        }
        settings = std::make_unique<AccountSettingsView>(
            app.session(), app.container.connectFlow(), app.container.accountFlow(),
            &app.container.feedbackFlow(), [this](Event e) { events.append(e); });
        settings->resize(700, 600);
        settings->show();
        QVERIFY(QTest::qWaitForWindowExposed(settings.get()));
        // Only a connected member has the way to the page.
        QPushButton* account = settings->findChild<QPushButton*>(u"accountButton"_s);
        if (account->isVisible()) {
            QTest::mouseClick(account, Qt::LeftButton);
        }
    }

    AccountDetailView* page() const { return settings->accountPage(); }
    QPushButton* button(const char* name) const {
        return page()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QLabel* label(const char* name) const {
        return page()->findChild<QLabel*>(QString::fromLatin1(name));
    }
    QString status() const {
        return label("statusLine")->isVisible() ? label("statusLine")->text() : QString();
    }
    std::string sentMemberID(const std::string& path) {
        const auto requests = backend->received(path);
        if (requests.empty()) {
            return "<none>";
        }
        return QJsonDocument::fromJson(QByteArray::fromStdString(requests.back().body))
            .object()
            .value(u"linkedInId"_s)
            .toString()
            .toStdString();
    }
};

} // namespace

class TestAccountDetailView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(keyring::takePrompts()); }

    void numericDateHasTheWholeYear_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("US English") << u"en_US"_s << u"3/14/2025"_s;
        QTest::newRow("British English") << u"en_GB"_s << u"14/03/2025"_s;
        QTest::newRow("German") << u"de_DE"_s << u"14.03.2025"_s;
        QTest::newRow("Swedish, year first") << u"sv_SE"_s << u"2025-03-14"_s;
        QTest::newRow("C, which names the month") << u"C"_s << u"2025-03-14"_s;
    }
    void numericDateHasTheWholeYear() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QCOMPARE(AccountDetailView::numericDate(QDate(2025, 3, 14), QLocale(locale)), text);
    }

    void theCardShowsTheMember_data() {
        QTest::addColumn<std::optional<QString>>("headline");
        QTest::newRow("with a headline") << std::optional<QString>(u"Builds <b>things</b>"_s);
        QTest::newRow("without a headline") << std::optional<QString>();
    }
    void theCardShowsTheMember() {
        QFETCH(std::optional<QString>, headline);
        QLocale::setDefault(QLocale(u"en_US"_s));
        LinkedInToken token = tokenFor(u"m1"_s, u"Ada <i>Demo</i>"_s, headline);
        // Noon: the same day in every time zone the test may run in.
        token.connectedAt = QDateTime(QDate(2026, 12, 1), QTime(12, 0), Qt::UTC);
        Page p(token);
        QVERIFY(p.page());
        QCOMPARE(p.label("profileName")->text(), u"Ada <i>Demo</i>"_s);
        QCOMPARE(p.label("profileName")->textFormat(), Qt::PlainText);
        QCOMPARE(p.label("profileHeadline") != nullptr, headline.has_value());
        if (headline) {
            QCOMPARE(p.label("profileHeadline")->text(), *headline);
        }
        QCOMPARE(p.label("registeredLine")->text(), u"Registered 12/1/2026"_s);
        QCOMPARE(p.page()->findChild<LinkedInProfilePhoto*>()->diameter(), 56.0);
        QCOMPARE(p.button("logOutButton")->text(), u"Log out"_s);
        QVERIFY(p.page()->findChild<QWidget*>(u"bottomBar"_s)->isVisible());
        QCOMPARE(p.button("deleteAccountButton")->text(), u"Delete account"_s);
        QVERIFY(p.status().isEmpty());
        QLocale::setDefault(QLocale::system());
    }

    void aSuccessfulLogOutClosesThePage() {
        Page p;
        QTest::mouseClick(p.button("logOutButton"), Qt::LeftButton);
        QVERIFY(p.page()->isLoggingOut());
        QCOMPARE(p.button("logOutButton")->text(), u"Logging out..."_s);
        QVERIFY(!p.button("logOutButton")->isEnabled());
        QVERIFY(!p.button("deleteAccountButton")->isEnabled());

        QTRY_COMPARE(p.settings->navigation()->depth(), 1);
        QCOMPARE(p.sentMemberID("/api/linkedin/disconnect"), std::string("m1"));
        QVERIFY(!p.app.session().token());
        QCOMPARE(tokenAfterRestart(), std::nullopt);
        QCOMPARE(p.app.session().statusMessage(), std::optional<QString>(u"Logged out."_s));
        QVERIFY(p.events.isEmpty());
        QVERIFY(p.settings->findChild<QPushButton*>(u"connectButton"_s)->isVisible());
        QVERIFY(!p.settings->findChild<QPushButton*>(u"accountButton"_s)->isVisible());
        // The account button that opened the page went with the account: the focus goes to the
        // pane's first control instead of falling out of it.
        QCOMPARE(p.settings->window()->focusWidget(),
                 p.settings->findChild<QPushButton*>(u"connectButton"_s));
    }

    void aFailedLogOutKeepsTheAccount_data() {
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<QString>("status");
        QTest::newRow("refused") << false << u"LinkedIn disconnect is unavailable."_s;
        QTest::newRow("unreachable") << true << u"Connection refused"_s;
    }
    void aFailedLogOutKeepsTheAccount() {
        QFETCH(bool, unreachable);
        QFETCH(QString, status);
        Page p(tokenFor(u"m1"_s),
               unreachable ? std::optional<QUrl>(QUrl(u"http://127.0.0.1:9/"_s)) : std::nullopt);
        p.backend->setFailure("/api/linkedin/disconnect",
                              {502, "unavailable", "LinkedIn disconnect is unavailable."});
        p.app.storeDraft(u"m1"_s, u"kept"_s);
        p.button("logOutButton")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(p.button("logOutButton"), Qt::Key_Space);
        QVERIFY(p.page()->isLoggingOut());
        QTRY_VERIFY(!p.page()->isLoggingOut());
        // Back where it was, not on "Delete account", which took it while both were disabled.
        QCOMPARE(p.page()->window()->focusWidget(), p.button("logOutButton"));

        QCOMPARE(p.status(), status);
        QCOMPARE(p.settings->navigation()->depth(), 2);
        QCOMPARE(p.button("logOutButton")->text(), u"Log out"_s);
        QVERIFY(p.button("logOutButton")->isEnabled());
        QVERIFY(p.button("deleteAccountButton")->isEnabled());
        QVERIFY(p.app.session().isConnected());
        QCOMPARE(tokenAfterRestart()->profile.memberID, u"m1"_s);
        QCOMPARE(bodiesOf(p.app.repository().loadDrafts(u"m1"_s)), QStringList{u"kept"_s});
    }

    void aLogOutThatTimesOutKeepsTheAccount() {
        ScriptedServer server;
        server.script("/api/linkedin/disconnect", {ScriptedServer::Answer::hang()});
        AppFixture app(server.baseURL());
        app.session().save(tokenFor(u"m1"_s));
        LinkedInAuthService impatient(server.baseURL(), u"quillon"_s, app.container.tokenStore(),
                                      {}, std::chrono::milliseconds(300));
        AccountFlow flow(app.drafts(), app.session(), impatient);
        AccountDetailView page(app.session(), flow, {});
        page.logOut();
        QTRY_VERIFY(!page.isLoggingOut());
        QCOMPARE(app.session().statusMessage(),
                 std::optional<QString>(u"The request timed out."_s));
        QCOMPARE(tokenAfterRestart()->profile.memberID, u"m1"_s);
    }

    // A page made while a log-out from an earlier one runs shows it, starts nothing, and closes
    // when the log-out settles the account.
    void aPageMadeDuringALogOutShowsIt_data() {
        QTest::addColumn<bool>("answers");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("dismissed");
        QTest::newRow("logged out") << true << u"Logged out."_s << 1;
        QTest::newRow("no answer in time") << false << u"The request timed out."_s << 0;
    }
    void aPageMadeDuringALogOutShowsIt() {
        QFETCH(bool, answers);
        QFETCH(QString, status);
        QFETCH(int, dismissed);
        ScriptedServer server;
        server.script("/api/linkedin/disconnect", {answers ? ScriptedServer::Answer::json(200, "{}")
                                                           : ScriptedServer::Answer::hang()});
        AppFixture app(server.baseURL());
        app.session().save(tokenFor(u"m1"_s));
        LinkedInAuthService impatient(server.baseURL(), u"quillon"_s, app.container.tokenStore(),
                                      {}, std::chrono::milliseconds(300));
        AccountFlow flow(app.drafts(), app.session(), impatient);
        auto first = std::make_unique<AccountDetailView>(app.session(), flow, TelemetrySink());
        first->logOut();
        first.reset();

        AccountDetailView page(app.session(), flow, {});
        int closed = 0;
        page.setDismiss([&closed] { ++closed; });
        auto* logOut = page.findChild<QPushButton*>(u"logOutButton"_s);
        auto* deletion = page.findChild<QPushButton*>(u"deleteAccountButton"_s);
        QVERIFY(page.isLoggingOut());
        QCOMPARE(logOut->text(), u"Logging out..."_s);
        QVERIFY(!logOut->isEnabled());
        QVERIFY(!deletion->isEnabled());
        page.deleteAccount();
        QVERIFY(!page.isDeletingAccount());

        QTRY_VERIFY(!page.isLoggingOut());
        QCOMPARE(app.session().statusMessage(), std::optional<QString>(status));
        QCOMPARE(closed, dismissed);
        QCOMPARE(int(server.requests("/api/linkedin/disconnect").size()), 1);
        QCOMPARE(int(server.requests("/api/account/delete").size()), 0);
    }

    // The keyring locked and its unlock prompt dismissed at a log-out or deletion: the delete is
    // remembered and done at the next start once the keyring is unlocked. With nowhere to
    // remember it the member stays signed in, as the next start would find them, and is told.
    void aDeleteTheLockedKeyringRefusedIsNeverReportedAsDone_data() {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<bool>("remembered");
        QTest::addColumn<QString>("status");
        QTest::newRow("log-out remembered") << false << true << u"Logged out."_s;
        QTest::newRow("log-out, nowhere to remember it")
            << false << false << u"Could not log out: the keyring is locked."_s;
        QTest::newRow("deletion remembered") << true << true << u"Account deleted."_s;
        QTest::newRow("deletion, nowhere to remember it")
            << true << false
            << u"Account deleted, but its token stays in the keyring: the keyring is locked."_s;
    }
    void aDeleteTheLockedKeyringRefusedIsNeverReportedAsDone() {
        QFETCH(bool, deletion);
        QFETCH(bool, remembered);
        QFETCH(QString, status);
        Page p;
        // Another connection holding the defaults' write lock: no write to them succeeds.
        std::optional<testing::SqliteWriteLock> lock;
        if (!remembered) {
            lock.emplace(p.app.defaults->path());
            QVERIFY(lock->isActive());
        }
        QVERIFY(keyring::lockDefaultCollection());
        keyring::dismissNextPrompt();
        if (deletion) {
            p.page()->deleteAccount();
        } else {
            QTest::mouseClick(p.button("logOutButton"), Qt::LeftButton);
        }
        QTRY_COMPARE(p.app.session().statusMessage(), std::optional<QString>(status));
        QVERIFY(keyring::promptsShown());
        QCOMPARE(p.settings->navigation()->depth(), remembered ? 1 : 2);
        QCOMPARE(p.app.session().isConnected(), !remembered);
        if (!remembered) {
            QTRY_COMPARE(p.status(), status);
            QVERIFY(p.button("logOutButton")->isEnabled());
        }
        QCOMPARE(p.events, deletion ? QList<Event>{Event::accountDeleted} : QList<Event>{});

        QVERIFY(keyring::unlockDefaultCollection());
        lock.reset();
        AuthTokenStore nextStart(tokenKey, keychainService,
                                 std::make_shared<SecretServiceKeychain>(std::chrono::seconds(5)),
                                 std::make_shared<SqliteUserDefaults>(p.app.defaults->path()));
        QCOMPARE(nextStart.load().has_value(), !remembered);
        QCOMPARE(tokenAfterRestart().has_value(), !remembered);
    }

    void aDeletionRemovesEverythingLocal() {
        Page p;
        p.app.storeDraft(u"m1"_s, u"member draft"_s);
        p.app.storeDraft(std::nullopt, u"signed-out draft"_s);
        QVERIFY(p.app.defaults->value(u"drafts.m1"_s).has_value());
        QVERIFY(p.app.defaults->value(u"drafts.signed-out"_s).has_value());
        // Unsaved text, kept for the next start.
        p.app.drafts().restoreUnsavedText();
        p.app.drafts().setEditorText(u"unsaved words"_s);
        p.app.drafts().keepUnsavedText();
        QVERIFY(p.app.defaults->value(u"drafts.unsavedText"_s).has_value());
        // A copy the keyring would share with other machines.
        SecretServiceKeychain keychain(std::chrono::seconds(5));
        QCOMPARE(keychain.add({keychainService, tokenKey, KeychainBackend::Synchronizable::yes},
                              "shared copy"),
                 KeychainBackend::Status::success);

        QTest::mouseClick(p.button("deleteAccountButton"), Qt::LeftButton);
        DeleteAccountDialog* dialog = p.page()->deleteConfirmation();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(p.page()->showsDeleteConfirmation());
        QTest::mouseClick(dialog->deleteButton(), Qt::LeftButton);
        QVERIFY(!p.page()->showsDeleteConfirmation());
        QVERIFY(p.page()->isDeletingAccount());
        QCOMPARE(p.button("deleteAccountButton")->text(), u"Deleting..."_s);
        QVERIFY(!p.button("logOutButton")->isEnabled());

        QTRY_COMPARE(p.settings->navigation()->depth(), 1);
        QCOMPARE(p.sentMemberID("/api/account/delete"), std::string("m1"));
        QVERIFY(!p.app.defaults->value(u"drafts.m1"_s).has_value());
        QVERIFY(!p.app.defaults->value(u"drafts.signed-out"_s).has_value());
        QVERIFY(!p.app.defaults->value(u"drafts.unsavedText"_s).has_value());
        QVERIFY(p.app.drafts().drafts().isEmpty());
        QCOMPARE(p.app.drafts().ownerID(), std::nullopt);
        QCOMPARE(p.app.drafts().editorText(), DraftStore::initialEditorText());
        QCOMPARE(tokenAfterRestart(), std::nullopt);
        QByteArray data;
        QCOMPARE(keychain.copyMatching(
                     {keychainService, tokenKey, KeychainBackend::Synchronizable::any}, &data),
                 KeychainBackend::Status::itemNotFound);
        QVERIFY(p.app.container.authService().requiresEphemeralSignIn());
        QCOMPARE(p.app.session().statusMessage(), std::optional<QString>(u"Account deleted."_s));
        QCOMPARE(p.events, QList<Event>{Event::accountDeleted});
    }

    void aFailedDeletionRemovesNothing_data() {
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<QString>("status");
        QTest::newRow("refused") << false << u"Deletion failed upstream."_s;
        QTest::newRow("unreachable") << true << u"Connection refused"_s;
    }
    void aFailedDeletionRemovesNothing() {
        QFETCH(bool, unreachable);
        QFETCH(QString, status);
        Page p(tokenFor(u"m1"_s),
               unreachable ? std::optional<QUrl>(QUrl(u"http://127.0.0.1:9/"_s)) : std::nullopt);
        p.backend->setFailure("/api/account/delete", {500, "failed", "Deletion failed upstream."});
        p.app.storeDraft(u"m1"_s, u"member draft"_s);
        p.page()->deleteAccount();
        QTRY_VERIFY(!p.page()->isDeletingAccount());
        QCOMPARE(p.status(), status);
        QCOMPARE(p.settings->navigation()->depth(), 2);
        QVERIFY(p.button("deleteAccountButton")->isEnabled());
        QCOMPARE(p.button("deleteAccountButton")->text(), u"Delete account"_s);
        QVERIFY(p.app.defaults->value(u"drafts.m1"_s).has_value());
        QCOMPARE(tokenAfterRestart()->profile.memberID, u"m1"_s);
        QVERIFY(!p.app.container.authService().requiresEphemeralSignIn());
        QVERIFY(p.events.isEmpty());
    }

    void cancellingTheQuestionChangesNothing_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }
    void cancellingTheQuestionChangesNothing() {
        QFETCH(bool, byEscape);
        Page p;
        p.page()->confirmDeletion();
        DeleteAccountDialog* dialog = p.page()->deleteConfirmation();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->findChild<QLabel*>(u"deleteAccountTitle"_s)->text(), u"Delete account?"_s);
        QCOMPARE(dialog->findChild<QLabel*>(u"deleteAccountMessage"_s)->text(),
                 u"This deletes your LinkedIn connection, local drafts, and local authorization "
                 "token. Support, legal, and security records may be retained where required."_s);
        // The stated order, Cancel the default.
        QVERIFY(dialog->deleteButton()->x() < dialog->cancelButton()->x());
        QVERIFY(dialog->cancelButton()->isDefault());
        if (byEscape) {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else {
            QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
        }
        QTRY_VERIFY(!p.page()->deleteConfirmation());
        QVERIFY(!p.page()->showsDeleteConfirmation());
        QVERIFY(!p.page()->isDeletingAccount());
        QCOMPARE(p.button("deleteAccountButton")->text(), u"Delete account"_s);
        QVERIFY(p.backend->received("/api/account/delete").empty());
        QVERIFY(p.app.session().isConnected());
        QVERIFY(p.events.isEmpty());
    }

    void anEmptyMemberIDHasNoBottomBarButLogsOut() {
        // Such a token does not count as connected, so the pane offers no way to the page; the
        // page itself still copes with it.
        Page p(tokenFor(QString()));
        QVERIFY(!p.page());
        AccountDetailView page(p.app.session(), p.app.container.accountFlow(), {});
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.findChild<QPushButton*>(u"logOutButton"_s)->isVisible());
        QVERIFY(!page.findChild<QWidget*>(u"bottomBar"_s)->isVisible());
        page.logOut();
        QTRY_VERIFY(!p.app.session().token());
        QCOMPARE(p.sentMemberID("/api/linkedin/disconnect"), std::string(""));
    }

    void noTokenReadsNotConnected() {
        Page p(std::nullopt);
        QVERIFY(p.page() == nullptr);
        AccountDetailView page(p.app.session(), p.app.container.accountFlow(), {});
        QCOMPARE(page.findChild<QLabel*>(u"notConnected"_s)->text(), u"Not connected."_s);
        QVERIFY(!page.findChild<QPushButton*>(u"logOutButton"_s));
    }

    void everyControlWorksFromTheKeyboard() {
        Page p;
        p.settings->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p.settings.get()));
        QStringList names;
        for (QWidget* widget : tabChain(p.settings->findChild<QPushButton*>(u"backButton"_s))) {
            QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            names.append(widget->objectName());
        }
        // In reading order: back, the card's button, the bottom bar.
        const qsizetype back = names.indexOf(u"backButton"_s);
        const qsizetype logOut = names.indexOf(u"logOutButton"_s);
        const qsizetype remove = names.indexOf(u"deleteAccountButton"_s);
        QVERIFY2(back == 0 && back < logOut && logOut < remove, qPrintable(names.join(u',')));

        // Enter asks; in the question Escape cancels and Enter on the focused default cancels.
        QTest::keyClick(p.button("deleteAccountButton"), Qt::Key_Return);
        DeleteAccountDialog* dialog = p.page()->deleteConfirmation();
        QVERIFY(dialog);
        QTRY_COMPARE(QApplication::focusWidget(), dialog->cancelButton());
        QTest::keyClick(dialog->cancelButton(), Qt::Key_Return);
        QTRY_VERIFY(!p.page()->deleteConfirmation());
        QVERIFY(p.app.session().isConnected());

        QTest::keyClick(p.button("logOutButton"), Qt::Key_Space);
        QVERIFY(p.page()->isLoggingOut());
        QTRY_COMPARE(p.settings->navigation()->depth(), 1);
    }
};

QTEST_MAIN(TestAccountDetailView)
#include "tst_accountdetailview.moc"
