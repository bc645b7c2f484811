#include "core/backend/LinkedInAuthService.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/TestBackend.h"
#include "ui/account/AccountDetailView.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/account/DeleteAccountDialog.h"
#include "ui/account/NavigationStack.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/feedback/FeedbackView.h"
#include "ui/kit/ProductLinks.h"
#include "ui/kit/StatusLine.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/KeyboardWalk.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"
#include "ui/window/MainSplitView.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;
using Event = AppTelemetryEvent;
namespace keyring = quillon::testsupport::keyring;

namespace {

// The Settings pane over the app's container, the stand-in backend and the real sign-in sheet.
struct Pane {
    QList<Event> events;
    TestBackend backend{std::chrono::seconds(2)};
    AppFixture app{backend.baseURL(), WebEngineAuthenticationSession::factory()};
    std::unique_ptr<AccountSettingsView> pane;

    explicit Pane(std::optional<LinkedInToken> token = std::nullopt, bool withFeedback = true) {
        if (token) {
            app.session().save(*token);
        }
        pane = std::make_unique<AccountSettingsView>(
            app.session(), app.container.connectFlow(), app.container.accountFlow(),
            withFeedback ? &app.container.feedbackFlow() : nullptr,
            [this](Event e) { events.append(e); });
        pane->resize(700, 600);
        pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(pane.get()));
    }

    QPushButton* button(const char* name) const {
        return pane->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    bool shows(const char* name) const {
        QPushButton* found = button(name);
        return found && found->isVisible();
    }
    WebEngineAuthenticationSession* sheet() const {
        return dynamic_cast<WebEngineAuthenticationSession*>(app.container.authService().session());
    }
    void waitForSignInPage() {
        QTRY_VERIFY_WITH_TIMEOUT(sheet() && sheet()->view(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(sheet()->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);
    }
    void allowSignIn() {
        sheet()->view()->page()->runJavaScript(u"document.getElementById('allow').click();"_s);
    }
};

} // namespace

class TestAccountSettingsView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(keyring::takePrompts()); }
    // Also after a test that failed with the keyring locked.
    void init() {
        if (keyring::defaultCollectionIsLocked()) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
    }

    // Connected whatever the keyring does; a token it did not keep is said under the button's
    // place, since the next start will not find it.
    void connectsThroughTheSignInSheet_data() {
        QTest::addColumn<QString>("keyring");
        QTest::addColumn<QString>("message");
        QTest::newRow("keyring open") << u"open"_s << QString();
        QTest::newRow("locked, unlocked at its prompt") << u"answered"_s << QString();
        QTest::newRow("locked, prompt dismissed")
            << u"dismissed"_s << u"Connected for this session only: the keyring is locked."_s;
    }
    void connectsThroughTheSignInSheet() {
        QFETCH(QString, keyring);
        QFETCH(QString, message);
        Pane p;
        if (keyring != u"open"_s) {
            QVERIFY(keyring::lockDefaultCollection());
            // The connection writes the token, then the session does: one prompt for both,
            // answered or dismissed.
            keyring == u"answered"_s ? keyring::answerNextPrompt() : keyring::dismissNextPrompt();
        }
        p.app.session().setStatusMessage(u"an earlier failure"_s);
        QVERIFY(p.shows("connectButton"));
        QVERIFY(!p.shows("accountButton"));
        QVERIFY(!p.shows("communityRow"));

        QTest::mouseClick(p.button("connectButton"), Qt::LeftButton);
        QVERIFY(p.pane->isConnecting());
        QCOMPARE(p.button("connectButton")->text(), u"Connecting..."_s);
        QVERIFY(!p.button("connectButton")->isEnabled());
        QCOMPARE(p.events, QList<Event>{Event::linkedInConnectStarted});
        p.waitForSignInPage();
        QVERIFY(!p.sheet()->view()->page()->profile()->isOffTheRecord());
        p.allowSignIn();

        QTRY_VERIFY_WITH_TIMEOUT(p.app.session().isConnected(), 15000);
        QVERIFY(!p.pane->isConnecting());
        QCOMPARE(p.app.session().statusMessage(),
                 message.isNull() ? std::nullopt : std::optional<QString>(message));
        QCOMPARE(p.pane->findChild<StatusLine*>(u"statusLine"_s)->message(), message);
        QVERIFY(keyring::promptsShown());
        QCOMPARE(p.events, QList<Event>({Event::linkedInConnectStarted, Event::linkedInConnected}));
        QVERIFY(!p.shows("connectButton"));
        QVERIFY(p.shows("accountButton"));
        QVERIFY(p.shows("communityRow"));
        QVERIFY(p.shows("sendFeedbackRow"));
        if (message.isNull()) {
            QCOMPARE(tokenAfterRestart()->profile.memberID,
                     p.app.session().token()->profile.memberID);
        } else {
            QVERIFY(keyring::unlockDefaultCollection());
            QCOMPARE(tokenAfterRestart(), std::nullopt);
        }
    }

    void closingTheSheetCancelsTheConnect() {
        Pane p;
        QTest::mouseClick(p.button("connectButton"), Qt::LeftButton);
        p.waitForSignInPage();
        p.sheet()->dialog()->reject();
        QTRY_VERIFY(!p.pane->isConnecting());
        QCOMPARE(p.app.session().statusMessage(),
                 std::optional<QString>(u"LinkedIn authorization was cancelled."_s));
        QCOMPARE(p.button("connectButton")->text(), u"Connect LinkedIn"_s);
        QVERIFY(p.button("connectButton")->isEnabled());
        QCOMPARE(p.events, QList<Event>{Event::linkedInConnectStarted});
    }

    void aDeletedAccountSignsInPrivatelyNextTime() {
        Pane p(tokenFor(u"m1"_s));
        QTest::mouseClick(p.button("accountButton"), Qt::LeftButton);
        QVERIFY(p.pane->accountPage());
        p.pane->accountPage()->confirmDeletion();
        QTest::mouseClick(p.pane->accountPage()->deleteConfirmation()->deleteButton(),
                          Qt::LeftButton);
        QTRY_COMPARE(p.pane->navigation()->depth(), 1);
        QCOMPARE(p.events, QList<Event>{Event::accountDeleted});

        QTest::mouseClick(p.button("connectButton"), Qt::LeftButton);
        p.waitForSignInPage();
        QVERIFY(p.sheet()->prefersEphemeralWebBrowserSession());
        QVERIFY(p.sheet()->view()->page()->profile()->isOffTheRecord());
        p.sheet()->dialog()->reject();
        QTRY_VERIFY(!p.pane->isConnecting());
    }

    // A pane made while a connect from another one runs shows it and starts none.
    void aPaneMadeDuringAConnectShowsIt() {
        Pane p;
        p.pane->connectLinkedIn();
        p.waitForSignInPage();
        AccountSettingsView second(p.app.session(), p.app.container.connectFlow(),
                                   p.app.container.accountFlow(), nullptr,
                                   [&p](Event e) { p.events.append(e); });
        auto* connect = second.findChild<QPushButton*>(u"connectButton"_s);
        QVERIFY(second.isConnecting());
        QCOMPARE(connect->text(), u"Connecting..."_s);
        QVERIFY(!connect->isEnabled());
        second.connectLinkedIn();

        p.sheet()->dialog()->reject();
        QTRY_VERIFY(!second.isConnecting());
        QVERIFY(!p.pane->isConnecting());
        QCOMPARE(connect->text(), u"Connect LinkedIn"_s);
        QVERIFY(connect->isEnabled());
        QCOMPARE(p.events, QList<Event>{Event::linkedInConnectStarted});
    }

    void leavingThePaneKeepsTheConnect() {
        QList<Event> events;
        TestBackend backend{std::chrono::seconds(2)};
        AppFixture app{backend.baseURL(), WebEngineAuthenticationSession::factory()};
        MainSplitView window(app.drafts(), app.session(), app.container.postFlow(),
                             app.container.connectFlow(), app.container.accountFlow(),
                             app.container.feedbackFlow(), [&](Event e) { events.append(e); });
        window.resize(900, 650);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QListWidget* sidebar = window.sidebar();
        const auto choose = [&](MainSplitView::Section section) {
            QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                              sidebar->visualItemRect(sidebar->item(int(section))).center());
        };
        choose(MainSplitView::Section::settings);
        auto* settings = qobject_cast<AccountSettingsView*>(window.currentPane());
        QVERIFY(settings);
        settings->connectLinkedIn();
        const auto sheet = [&] {
            return dynamic_cast<WebEngineAuthenticationSession*>(
                app.container.authService().session());
        };
        QTRY_VERIFY_WITH_TIMEOUT(sheet() && sheet()->view(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(sheet()->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);

        const QPointer<AccountSettingsView> gone(settings);
        choose(MainSplitView::Section::insights);
        QTRY_VERIFY(!gone);
        sheet()->view()->page()->runJavaScript(u"document.getElementById('allow').click();"_s);
        QTRY_VERIFY_WITH_TIMEOUT(app.session().isConnected(), 15000);
        QTRY_COMPARE(events.size(), 2);
        QCOMPARE(events, QList<Event>({Event::linkedInConnectStarted, Event::linkedInConnected}));

        // The pane made afresh shows the connected state.
        choose(MainSplitView::Section::settings);
        settings = qobject_cast<AccountSettingsView*>(window.currentPane());
        QVERIFY(settings);
        QTRY_VERIFY(settings->findChild<QPushButton*>(u"accountButton"_s)->isVisible());
    }

    void theConnectedStateFollowsTheToken_data() {
        QTest::addColumn<std::optional<LinkedInToken>>("token");
        QTest::addColumn<bool>("withFeedback");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("feedbackRow");
        LinkedInToken noAccess = tokenFor(u"m1"_s);
        noAccess.accessToken.clear();
        QTest::newRow("signed out") << std::optional<LinkedInToken>() << true << false << false;
        QTest::newRow("connected") << std::optional(tokenFor(u"m1"_s)) << true << true << true;
        QTest::newRow("empty member ID")
            << std::optional(tokenFor(QString())) << true << false << false;
        QTest::newRow("empty access token") << std::optional(noAccess) << true << false << false;
        QTest::newRow("no feedback service")
            << std::optional(tokenFor(u"m1"_s)) << false << true << false;
    }
    void theConnectedStateFollowsTheToken() {
        QFETCH(std::optional<LinkedInToken>, token);
        QFETCH(bool, withFeedback);
        QFETCH(bool, connected);
        QFETCH(bool, feedbackRow);
        Pane p(token, withFeedback);
        QCOMPARE(p.shows("connectButton"), !connected);
        QCOMPARE(p.shows("accountButton"), connected);
        QCOMPARE(p.shows("communityRow"), connected);
        QCOMPARE(p.shows("sendFeedbackRow"), feedbackRow);
        if (connected) {
            QCOMPARE(accessibleName(p.button("accountButton")), u"Account"_s);
            QCOMPARE(p.button("communityRow")->text(), u"Community"_s);
        }
    }

    void theRowsOpenTheCommunityAndTheForm() {
        RecordingBrowser browser;
        Pane p(tokenFor(u"m1"_s, u"Ada Demo"_s));
        QTest::mouseClick(p.button("communityRow"), Qt::LeftButton);
        QCOMPARE(browser.opened, QList<QUrl>{ProductLinks::communityInvitation()});

        QTest::mouseClick(p.button("sendFeedbackRow"), Qt::LeftButton);
        QVERIFY(p.pane->showsFeedback());
        FeedbackSheet* sheet = p.pane->feedbackSheet();
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->form()->senderIdentity()->name, u"Ada Demo"_s);
        QCOMPARE(p.events, QList<Event>{Event::feedbackOpened});
        QTest::keyClicks(sheet->findChild<QLineEdit*>(u"titleField"_s), u"Half written"_s);
        sheet->findChild<QPushButton*>(u"closeButton"_s)->click();
        QVERIFY(!p.pane->showsFeedback());
        QVERIFY(!sheet->isVisible());

        // Opened again, the form has what was typed before it closed.
        QTest::mouseClick(p.button("sendFeedbackRow"), Qt::LeftButton);
        QCOMPARE(p.events, QList<Event>({Event::feedbackOpened, Event::feedbackOpened}));
        QCOMPARE(p.pane->feedbackSheet(), sheet);
        QVERIFY(p.pane->showsFeedback());
        QCOMPARE(sheet->form()->title(), u"Half written"_s);
        sheet->reject();
        QVERIFY(!p.pane->showsFeedback());
    }

    void thePushedPageGoesBack_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("back control") << u"click"_s;
        QTest::newRow("Escape") << u"escape"_s;
        QTest::newRow("Alt+Left") << u"alt-left"_s;
    }
    void thePushedPageGoesBack() {
        QFETCH(QString, how);
        Pane p(tokenFor(u"m1"_s));
        p.pane->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p.pane.get()));
        QTest::mouseClick(p.button("accountButton"), Qt::LeftButton);
        QCOMPARE(p.pane->navigation()->depth(), 2);
        QPushButton* back = p.button("backButton");
        QVERIFY(back && back->isVisible());
        QCOMPARE(accessibleName(back), u"Back"_s);
        QWidget* focus = p.pane->accountPage()->findChild<QPushButton*>(u"logOutButton"_s);
        focus->setFocus();
        if (how == u"click") {
            QTest::mouseClick(back, Qt::LeftButton);
        } else if (how == u"escape") {
            QTest::keyClick(focus, Qt::Key_Escape);
        } else {
            QTest::keyClick(focus, Qt::Key_Left, Qt::AltModifier);
        }
        QCOMPARE(p.pane->navigation()->depth(), 1);
        // Back where the page was opened from.
        QCOMPARE(QApplication::focusWidget(), p.button("accountButton"));
        QTRY_VERIFY(!p.pane->accountPage());
        QVERIFY(p.app.session().isConnected());
        QVERIFY(p.shows("accountButton"));
    }

    void everyControlWorksFromTheKeyboard() {
        Pane p(tokenFor(u"m1"_s));
        p.pane->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p.pane.get()));
        QStringList names;
        for (QWidget* widget : tabChain(p.button("accountButton"))) {
            QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            names.append(widget->objectName());
        }
        for (const char* name : {"accountButton", "communityRow", "sendFeedbackRow"}) {
            QVERIFY2(names.contains(QString::fromLatin1(name)), name);
        }
        QTest::keyClick(p.button("sendFeedbackRow"), Qt::Key_Return);
        QVERIFY(p.pane->feedbackSheet());
        p.pane->feedbackSheet()->reject();
        QTest::keyClick(p.button("accountButton"), Qt::Key_Space);
        QVERIFY(p.pane->accountPage());
        QTest::keyClick(p.button("backButton"), Qt::Key_Enter);
        QCOMPARE(p.pane->navigation()->depth(), 1);
    }
};

int main(int argc, char* argv[]) {
    // The web engine takes URL schemes only before the application object exists.
    WebEngineAuthenticationSession::registerCallbackScheme(u"quillon"_s);
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    TestAccountSettingsView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accountsettingsview.moc"
