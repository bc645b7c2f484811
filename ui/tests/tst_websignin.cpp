#include "core/backend/LinkedInAuthService.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/LoopbackServer.h"
#include "ui/theme/Theme.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWindow>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;

namespace {

// Children of this process whose name says they are the web engine's.
int webEngineProcesses() {
    int count = 0;
    const QString parent = QString::number(getpid());
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + pid + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ...": the name may hold spaces, so split after its ")".
        const QString line = QString::fromLocal8Bit(stat.readAll());
        const QString name = line.section(u'(', 1).section(u')', 0, -2);
        const QStringList rest = line.section(u')', -1).split(u' ', Qt::SkipEmptyParts);
        if (rest.size() > 1 && rest[1] == parent && name.contains(u"QtWebEngine"_s)) {
            ++count;
        }
    }
    return count;
}

} // namespace

class TestWebSignIn : public QObject {
    Q_OBJECT

    std::shared_ptr<AuthTokenStore> store;

    std::unique_ptr<LinkedInAuthService> service(const TestBackend& backend) {
        return std::make_unique<LinkedInAuthService>(backend.baseURL(), u"quillon"_s, store,
                                                     WebEngineAuthenticationSession::factory());
    }

    static WebEngineAuthenticationSession* sheetOf(LinkedInAuthService& auth) {
        return dynamic_cast<WebEngineAuthenticationSession*>(auth.session());
    }

private Q_SLOTS:
    void init() {
        store = appTokenStore(std::make_shared<SecretServiceKeychain>());
        store->deleteAll();
    }

    void signsInOnTheStandInPageToASavedToken() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);
        // Building the client starts nothing of the web engine.
        QCOMPARE(webEngineProcesses(), 0);

        QWidget window;
        window.resize(900, 650);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->view());
        WebEngineAuthenticationSession* sheet = sheetOf(*auth);
        QVERIFY(sheet->dialog()->isVisible());
        QCOMPARE(sheet->dialog()->parentWidget(), &window);
        QCOMPARE(sheet->dialog()->windowModality(), Qt::WindowModal);
        QVERIFY(!sheet->view()->page()->profile()->isOffTheRecord());
        QTRY_COMPARE_WITH_TIMEOUT(sheet->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);
        QCOMPARE(sheet->dialog()->windowTitle(), u"Sign in to LinkedIn \u2014 127.0.0.1"_s);
        QVERIFY(webEngineProcesses() > 0);

        // The person picks the second demo member and signs in.
        sheet->view()->page()->runJavaScript(uR"(
            const member = document.getElementById('member');
            member.selectedIndex = 1;
            member.onchange();
            document.getElementById('pictureUrl').value = 'https://pictures.example/grace.jpg';
            document.getElementById('allow').click();)"_s);

        const auto outcome = awaitOutcome(std::move(connecting));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        QCOMPARE(outcome.value->profile.name, u"Grace Hopper"_s);
        QCOMPARE(outcome.value->profile.memberID, u"demo-grace"_s);
        QCOMPARE(outcome.value->profile.headline,
                 std::optional<QString>(u"Compiler pioneer and rear admiral"_s));
        QCOMPARE(outcome.value->profile.pictureURL,
                 std::optional<QString>(u"https://pictures.example/grace.jpg"_s));
        QCOMPARE(store->load(), outcome.value);
        // The sheet closes with the callback; the page reached the scheme, not the backend.
        QTRY_VERIFY(!sheet->view());
        QVERIFY(backend->received("/api/linkedin/callback").size() == 1);
    }

    void closingThePrivateSheetCancels() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);
        auth->setRequiresEphemeralSignIn(true);

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->view());
        WebEngineAuthenticationSession* sheet = sheetOf(*auth);
        QVERIFY(sheet->view()->page()->profile()->isOffTheRecord());
        // No window of the app is open: the sheet is a window of its own.
        QCOMPARE(sheet->dialog()->parentWidget(), nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(sheet->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);

        sheet->dialog()->reject();
        const auto outcome = awaitOutcome(std::move(connecting));
        QCOMPARE(outcome.description(), u"LinkedIn authorization was cancelled."_s);
        QCOMPARE(store->load(), std::nullopt);
        QVERIFY(backend->received("/api/linkedin/cli/result").empty());

        // The private session was for that one sheet.
        auto again = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) != sheet && sheetOf(*auth) && sheetOf(*auth)->view());
        QVERIFY(!sheetOf(*auth)->view()->page()->profile()->isOffTheRecord());
        sheetOf(*auth)->cancel();
        QCOMPARE(awaitOutcome(std::move(again)).description(),
                 u"LinkedIn authorization was cancelled."_s);
    }

    // The page has the keys; Escape still ends the sign-in as closing the sheet does.
    void escapeCancelsTheSheet() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);
        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->view());
        WebEngineAuthenticationSession* sheet = sheetOf(*auth);
        QTRY_COMPARE_WITH_TIMEOUT(sheet->view()->title(), u"Sign in to LinkedIn (stand-in)"_s,
                                  30000);
        QDialog* dialog = sheet->dialog();
        QApplication::setActiveWindow(dialog);
        sheet->view()->setFocus();
        QTRY_VERIFY(dialog->focusWidget() && sheet->view()->isAncestorOf(dialog->focusWidget()));
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
        const auto outcome = awaitOutcome(std::move(connecting));
        QCOMPARE(outcome.description(), u"LinkedIn authorization was cancelled."_s);
        QCOMPARE(store->load(), std::nullopt);
    }

    // As its own program the sheet has no window of the app to show over, only the one the
    // app names to it.
    void aSheetStaysInFrontOfTheWindowItIsGiven() {
        TestBackend backend;
        QWindow app;
        app.show();
        bool completed = false;
        WebEngineAuthenticationSession sheet(backend.baseURL(), u"quillon"_s,
                                             [&completed](auto, auto) { completed = true; });
        sheet.setTransientParent(&app);
        QVERIFY(sheet.start());
        QCOMPARE(sheet.dialog()->parentWidget(), nullptr);
        QCOMPARE(sheet.dialog()->windowHandle()->transientParent(), &app);
        QCOMPARE(sheet.dialog()->windowTitle(), u"Sign in to LinkedIn \u2014 127.0.0.1"_s);
        sheet.cancel();
        QVERIFY(completed);
    }

    // Only the page's own navigation to the callback scheme ends the sign-in: a frame, an
    // image or a script of the page sent there changes nothing.
    void onlyTheTopLevelNavigationEndsTheSheet() {
        LoopbackServer server;
        server.http.Get("/frames", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(R"(<!doctype html><title>Frames</title><body><script>
                let sent = false;
                const sendTop = () => {
                    if (!sent) {
                        sent = true;
                        location.href = 'quillon://linkedin/callback?from=top';
                    }
                };
                const frame = document.createElement('iframe');
                frame.onload = () => setTimeout(sendTop, 500);
                frame.src = 'quillon://linkedin/callback?from=frame';
                document.body.appendChild(frame);
                new Image().src = 'quillon://linkedin/callback?from=image';
                fetch('quillon://linkedin/callback?from=fetch').catch(() => {});
                // A refused frame may never say it loaded.
                setTimeout(sendTop, 2000);
                </script>)",
                                 "text/html");
        });
        server.start();
        std::optional<QUrl> reached;
        bool completed = false;
        WebEngineAuthenticationSession sheet(QUrl(server.url(u"/frames"_s)), u"quillon"_s,
                                             [&](std::optional<QUrl> url, auto) {
                                                 completed = true;
                                                 reached = std::move(url);
                                             });
        QVERIFY(sheet.start());
        QTRY_VERIFY_WITH_TIMEOUT(completed, 30000);
        QCOMPARE(reached, std::optional<QUrl>(QUrl(u"quillon://linkedin/callback?from=top"_s)));
    }

    // Until the page paints, the sheet shows the app's page colour: no flash of white.
    void theSheetPaintsThePageColourUntilThePageDoes() {
        TestBackend backend;
        WebEngineAuthenticationSession sheet(backend.baseURL(), u"quillon"_s, [](auto, auto) {});
        QVERIFY(sheet.start());
        QCOMPARE(sheet.view()->page()->backgroundColor(), Theme::background());
        QCOMPARE(sheet.dialog()->palette().color(QPalette::Window), Theme::background());
        sheet.cancel();
    }

    void declinedOnThePageEndsWithTheBackendsMessage() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->view());
        QWebEngineView* view = sheetOf(*auth)->view();
        QTRY_COMPARE_WITH_TIMEOUT(view->title(), u"Sign in to LinkedIn (stand-in)"_s, 30000);
        view->page()->runJavaScript(u"document.getElementById('decline').click();"_s);

        QCOMPARE(awaitOutcome(std::move(connecting)).description(),
                 u"The member declined to sign in."_s);
        QCOMPARE(store->load(), std::nullopt);
    }
};

int main(int argc, char* argv[]) {
    WebEngineAuthenticationSession::registerCallbackScheme(u"quillon"_s);
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    TestWebSignIn test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_websignin.moc"
