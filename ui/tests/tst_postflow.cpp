#include "core/backend/LinkedInAuthService.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/TestBackend.h"
#include "ui/editor/EditorView.h"
#include "ui/kit/StatusLine.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/PostToast.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;
using Section = MainSplitView::Section;
using Event = AppTelemetryEvent;
namespace keyring = quillon::testsupport::keyring;

namespace {

// The whole window over the app's container, the stand-in backend and the web sign-in sheet.
struct Window {
    // Before the container: a post cut short by the end of a test still reports into it.
    QList<Event> events;
    TestBackend backend{std::chrono::seconds(2)};
    AppFixture app{backend.baseURL(), WebEngineAuthenticationSession::factory()};
    std::unique_ptr<MainSplitView> view = std::make_unique<MainSplitView>(
        app.drafts(), app.session(), app.container.postFlow(), app.container.connectFlow(),
        app.container.accountFlow(), app.container.feedbackFlow(),
        [this](Event e) { events.append(e); });
    RecordingBrowser browser;

    Window() { view->resize(900, 650); }

    void show() {
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
    EditorView* editor() const { return qobject_cast<EditorView*>(view->currentPane()); }
    // Connected as m1, the window shown, `text` written and "Post to LinkedIn" clicked.
    void postConnected(const QString& text) {
        app.session().save(tokenFor(u"m1"_s));
        show();
        app.drafts().setEditorText(text);
        QTest::mouseClick(postButton(), Qt::LeftButton);
    }
    void choose(Section section) const {
        QListWidget* sidebar = view->sidebar();
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualItemRect(sidebar->item(int(section))).center());
    }
    QPushButton* postButton() const { return editor()->findChild<QPushButton*>(u"postButton"_s); }
    std::vector<standin::StandInBackend::ReceivedRequest> posts() {
        return backend->received("/api/linkedin/post");
    }
    WebEngineAuthenticationSession* sheet() const {
        return dynamic_cast<WebEngineAuthenticationSession*>(app.container.authService().session());
    }
    // Waits for the sign-in page of the sheet the post opened.
    void waitForSignInPage() {
        QTRY_VERIFY2_WITH_TIMEOUT(sheet() && sheet()->view(),
                                  qPrintable(app.drafts().statusMessage().value_or(QString())),
                                  10000);
        QTRY_COMPARE_WITH_TIMEOUT(sheet()->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);
    }
};

std::string field(const standin::StandInBackend::ReceivedRequest& request, const char* name) {
    const auto it = request.formFields.find(name);
    return it == request.formFields.end() ? std::string("<missing>") : it->second;
}

} // namespace

class TestPostFlow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(keyring::takePrompts()); }
    // Also after a test that failed with the keyring locked.
    void init() {
        if (keyring::defaultCollectionIsLocked()) {
            QVERIFY(keyring::unlockDefaultCollection());
        }
    }

    void aConnectedPostLandsOnInsights() {
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        w.show();
        w.app.drafts().setEditorText(u"  Hello LinkedIn  "_s);
        w.app.drafts().saveDraft();
        QCOMPARE(w.app.drafts().drafts().size(), 1);

        // A double click, as the window system delivers it, starts one post; so does a
        // second start while the first one runs.
        QTest::mouseClick(w.postButton(), Qt::LeftButton);
        QTest::mouseDClick(w.postButton(), Qt::LeftButton);
        QTest::mouseRelease(w.postButton(), Qt::LeftButton);
        w.editor()->post();
        QVERIFY(w.editor()->isPosting());
        QCOMPARE(w.postButton()->text(), u"Posting..."_s);
        QVERIFY(!w.postButton()->isEnabled());

        QTRY_COMPARE(w.view->selection(), Section::insights);
        QCOMPARE(w.posts().size(), 1u);
        QCOMPARE(field(w.posts()[0], "commentary"), std::string("Hello LinkedIn"));
        QCOMPARE(field(w.posts()[0], "accessToken"), std::string("access-m1"));
        QCOMPARE(field(w.posts()[0], "memberId"), std::string("m1"));
        QVERIFY(w.app.drafts().drafts().isEmpty());
        QVERIFY(w.app.repository().loadDrafts(u"m1"_s).isEmpty());
        QCOMPARE(w.app.drafts().statusMessage(), std::optional<QString>(u"Posted to LinkedIn"_s));
        QCOMPARE(w.app.drafts().editorText(), u"  Hello LinkedIn  "_s);
        QVERIFY(w.view->showsPostToast());
        QCOMPARE(w.browser.opened, QList<QUrl>{EditorView::recentActivityURL()});
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::postSucceeded}));

        // The posted text is nothing to keep: back in the Editor a fresh post starts.
        QListWidget* sidebar = w.view->sidebar();
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualItemRect(sidebar->item(int(Section::editor))).center());
        QCOMPARE(w.view->selection(), Section::editor);
        QCOMPARE(w.app.drafts().editorText(), DraftStore::initialEditorText());
    }

    void aFailedPostLeavesEverythingInPlace_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("backendFails");
        QTest::addColumn<QString>("status");
        QTest::addColumn<size_t>("posts");
        QTest::newRow("blank text") << u" \n\t "_s << false << u"Post is empty."_s << size_t(0);
        QTest::newRow("refused by the backend")
            << u"A real post"_s << true << u"LinkedIn is down right now."_s << size_t(1);
    }
    void aFailedPostLeavesEverythingInPlace() {
        QFETCH(QString, text);
        QFETCH(bool, backendFails);
        QFETCH(QString, status);
        QFETCH(size_t, posts);
        Window w;
        if (backendFails) {
            w.backend->setFailure("/api/linkedin/post",
                                  {502, "upstream_failed", "LinkedIn is down right now."});
        }
        w.app.session().save(tokenFor(u"m1"_s));
        w.show();
        w.app.drafts().setEditorText(u"kept draft"_s);
        w.app.drafts().saveDraft();
        w.app.drafts().setEditorText(text);

        QTest::mouseClick(w.postButton(), Qt::LeftButton);
        QTRY_VERIFY(!w.editor()->isPosting());
        QCOMPARE(w.app.drafts().statusMessage(), std::optional<QString>(status));
        QCOMPARE(w.posts().size(), posts);
        QCOMPARE(w.postButton()->text(), u"Post to LinkedIn"_s);
        QVERIFY(w.postButton()->isEnabled());
        QCOMPARE(w.app.drafts().editorText(), text);
        QCOMPARE(bodiesOf(w.app.drafts().drafts()), QStringList{u"kept draft"_s});
        QCOMPARE(w.view->selection(), Section::editor);
        QVERIFY(!w.view->showsPostToast());
        QVERIFY(w.browser.opened.isEmpty());
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::postFailed}));
    }

    void leavingThePaneKeepsTheOutcome() {
        Window w;
        w.postConnected(u"posted while away"_s);
        // Away to the drafts before the backend answered: the editor pane is gone.
        const QPointer<EditorView> editor = w.editor();
        w.choose(Section::drafts);
        QCOMPARE(w.view->selection(), Section::drafts);
        QTRY_VERIFY(!editor);

        QTRY_COMPARE(w.view->selection(), Section::insights);
        QCOMPARE(w.app.drafts().statusMessage(), std::optional<QString>(u"Posted to LinkedIn"_s));
        QCOMPARE(field(w.posts().at(0), "commentary"), std::string("posted while away"));
        QVERIFY(w.view->showsPostToast());
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::postSucceeded}));
    }

    // An editor made while a post from an earlier one runs shows that post and starts none.
    void anEditorMadeDuringAPostShowsIt() {
        Window w;
        w.postConnected(u"posted once"_s);
        // Away and back before the backend could answer: a new editor pane.
        const EditorView* first = w.editor();
        w.choose(Section::drafts);
        w.choose(Section::editor);
        QVERIFY(w.editor() != first);
        QVERIFY(w.editor()->isPosting());
        QCOMPARE(w.postButton()->text(), u"Posting..."_s);
        QVERIFY(!w.postButton()->isEnabled());
        w.editor()->post();

        QTRY_COMPARE(w.view->selection(), Section::insights);
        QCOMPARE(w.posts().size(), 1u);
        QCOMPARE(field(w.posts().at(0), "commentary"), std::string("posted once"));
        QCOMPARE(w.browser.opened, QList<QUrl>{EditorView::recentActivityURL()});
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::postSucceeded}));
    }

    void cancellingTheSignInEndsThePost() {
        Window w;
        w.show();
        w.app.drafts().setEditorText(u"never sent"_s);
        QTest::mouseClick(w.postButton(), Qt::LeftButton);
        w.waitForSignInPage();
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::linkedInConnectStarted}));

        w.sheet()->dialog()->reject();
        QTRY_VERIFY(!w.editor()->isPosting());
        QCOMPARE(w.app.drafts().statusMessage(),
                 std::optional<QString>(u"LinkedIn authorization was cancelled."_s));
        QVERIFY(w.postButton()->isEnabled());
        QVERIFY(w.posts().empty());
        QVERIFY(!w.app.session().token());
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::linkedInConnectStarted,
                                         Event::postFailed}));
    }

    // A keyring that does not keep the new token does not hold the post back; what the post
    // came to says it too, where the member is when it ends.
    void signingInFirstPostsTheTextAsWritten_data() {
        QTest::addColumn<bool>("backendFails");
        QTest::addColumn<bool>("keyringLocked");
        QTest::newRow("posted") << false << false;
        QTest::newRow("refused by the backend") << true << false;
        QTest::newRow("posted, keyring locked") << false << true;
        QTest::newRow("refused, keyring locked") << true << true;
    }
    void signingInFirstPostsTheTextAsWritten() {
        QFETCH(bool, backendFails);
        QFETCH(bool, keyringLocked);
        const QString notKept = u"Connected for this session only: the keyring is locked."_s;
        Window w;
        if (keyringLocked) {
            QVERIFY(keyring::lockDefaultCollection());
            // The connection's write of the new token; the session's write of the same token
            // does not ask again.
            keyring::dismissNextPrompt();
        }
        // Unlocked first, so that the next start's read can tell a kept token from none.
        const auto keptOnlyWithAnOpenKeyring = [keyringLocked] {
            QVERIFY(keyring::promptsShown());
            if (keyringLocked) {
                QVERIFY(keyring::unlockDefaultCollection());
            }
            QCOMPARE(tokenAfterRestart().has_value(), !keyringLocked);
        };
        if (backendFails) {
            w.backend->setFailure("/api/linkedin/post",
                                  {502, "upstream_failed", "LinkedIn is down right now."});
        }
        w.show();
        w.app.drafts().setEditorText(u"My first post"_s);
        QTest::mouseClick(w.postButton(), Qt::LeftButton);
        w.waitForSignInPage();
        w.sheet()->view()->page()->runJavaScript(u"document.getElementById('allow').click();"_s);

        if (backendFails) {
            QTRY_VERIFY_WITH_TIMEOUT(!w.editor()->isPosting(), 15000);
            QVERIFY(w.app.session().isConnected());
            QCOMPARE(w.posts().size(), 1u);
            QCOMPARE(w.app.drafts().statusMessage(),
                     std::optional<QString>(keyringLocked
                                                ? u"LinkedIn is down right now. "_s + notKept
                                                : u"LinkedIn is down right now."_s));
            QCOMPARE(w.app.session().statusMessage(),
                     keyringLocked ? std::optional<QString>(notKept) : std::nullopt);
            // The new member's editor holds the text that was not posted.
            QCOMPARE(w.app.drafts().ownerID(), w.app.session().memberID());
            QCOMPARE(w.app.drafts().editorText(), u"My first post"_s);
            QCOMPARE(w.editor()->findChild<QPlainTextEdit*>(u"postEditor"_s)->toPlainText(),
                     u"My first post"_s);
            QCOMPARE(w.view->selection(), Section::editor);
            QCOMPARE(w.editor()->findChild<StatusLine*>(u"statusLine"_s)->message(),
                     *w.app.drafts().statusMessage());
            QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::linkedInConnectStarted,
                                             Event::linkedInConnected, Event::postFailed}));
            keptOnlyWithAnOpenKeyring();
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(w.view->selection(), Section::insights, 15000);
        QVERIFY(w.app.session().isConnected());
        const QString member = w.app.session().token()->profile.memberID;
        // Not the fresh editor the new member's drafts come with.
        QCOMPARE(field(w.posts().at(0), "commentary"), std::string("My first post"));
        QCOMPARE(field(w.posts().at(0), "memberId"), member.toStdString());
        QCOMPARE(w.app.drafts().ownerID(), std::optional<QString>(member));
        QCOMPARE(w.app.drafts().statusMessage(),
                 std::optional<QString>(keyringLocked ? u"Posted to LinkedIn. "_s + notKept
                                                      : u"Posted to LinkedIn"_s));
        // The window leaves the editor: the toast says it over Insights, Settings keeps it.
        QVERIFY(w.view->showsPostToast());
        QCOMPARE(w.view->postToast()->detail(), keyringLocked ? notKept : QString());
        QCOMPARE(w.app.session().statusMessage(),
                 keyringLocked ? std::optional<QString>(notKept) : std::nullopt);
        QCOMPARE(w.events, QList<Event>({Event::postStarted, Event::linkedInConnectStarted,
                                         Event::linkedInConnected, Event::postSucceeded}));
        keptOnlyWithAnOpenKeyring();
    }
};

int main(int argc, char* argv[]) {
    // The web engine takes URL schemes only before the application object exists.
    WebEngineAuthenticationSession::registerCallbackScheme(u"quillon"_s);
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    TestPostFlow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_postflow.moc"
