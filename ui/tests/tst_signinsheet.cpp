#include "core/backend/LinkedInAuthService.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"
#include "ui/tests/AppFixture.h"
#include "ui/websignin/SignInSheetSession.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <csignal>
#include <cstdio>
#include <qpa/qwindowsysteminterface.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;

namespace {

QString sheetProgram() {
    return QDir(qEnvironmentVariable("QUILLON_BUILD_DIR")).filePath(u"bin/quillon-signin"_s);
}

// The argument that makes this program the app's side of a sign-in (see main()).
constexpr QLatin1String hostASheet("--host-a-sheet");

bool running(qint64 pid) {
    return pid > 0 && QFileInfo::exists(u"/proc/"_s + QString::number(pid));
}

// What the stand-in saw of the sign-in form the page sent.
QString formField(const standin::StandInBackend::ReceivedRequest& request, const QString& name) {
    return QUrlQuery(QUrl(QString::fromStdString(request.target)).query())
        .queryItemValue(name, QUrl::FullyDecoded);
}

// The window of the app the sheet shows over, with a button to try its input on.
struct AppWindow {
    QWidget window;
    QPushButton* button = new QPushButton(u"Save draft"_s, &window);
    QSignalSpy clicks{button, &QPushButton::clicked};

    AppWindow() {
        window.resize(900, 650);
        window.show();
    }
};

// Stand-ins for the sheet program, as shell scripts that take the real one's arguments and do
// what a broken one would.
struct StandInSheets {
    QTemporaryDir dir;

    QString program(const QString& name, const QByteArray& body) {
        QString path = dir.filePath(name);
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body + '\n') < 0) {
            return {};
        }
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        return path;
    }
    // Starts and never shows a window nor answers; `exec` keeps it one process, so that its
    // end is the end of all of it.
    QString hanging() { return program(u"hanging"_s, "exec sleep 600"); }
    // Shows its window, then stops answering.
    QString stopsAfterShowing() {
        return program(u"stops-after-showing"_s, "echo shown\nexec sleep 600");
    }
};

// A window close from the window system, as the title bar's close button sends it.
void closeFromTheWindowSystem(QWidget* window) {
    QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
        window->windowHandle());
}

} // namespace

// The sign-in sheet run as its own program, through the stand-in backend's sign-in page to a
// token in the keyring.
class TestSignInSheet : public QObject {
    Q_OBJECT

    std::shared_ptr<AuthTokenStore> store;
    StandInSheets sheets;

    std::unique_ptr<LinkedInAuthService> service(const TestBackend& backend,
                                                 const QString& program = sheetProgram()) {
        return std::make_unique<LinkedInAuthService>(backend.baseURL(), u"quillon"_s, store,
                                                     SignInSheetSession::factory(program));
    }

    static SignInSheetSession* sheetOf(const LinkedInAuthService& auth) {
        return dynamic_cast<SignInSheetSession*>(auth.session());
    }

    // Waits until the sheet's page has been served `count` times: the sheet is up.
    static bool pageServed(TestBackend& backend, size_t count = 1) {
        return QTest::qWaitFor([&] { return backend->received("/signin").size() >= count; }, 30000);
    }

private Q_SLOTS:
    void init() {
        store = appTokenStore(std::make_shared<SecretServiceKeychain>());
        store->deleteAll();
    }

    void signsInThroughTheSheetProgramToASavedToken() {
        TestBackend backend(std::chrono::seconds(2));
        // The person picks the second demo member and signs in.
        backend->setSignInPageScript(R"(
            const member = document.getElementById('member');
            member.selectedIndex = 1;
            member.onchange();
            document.getElementById('pictureUrl').value = 'https://pictures.example/grace.jpg';
            document.getElementById('allow').click();)");
        auto auth = service(backend);
        AppWindow app;
        QVERIFY(QTest::qWaitForWindowExposed(&app.window));

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->processId() > 0);
        const qint64 program = sheetOf(*auth)->processId();
        QCOMPARE(sheetOf(*auth)->blockedWindow(), &app.window);

        const auto outcome = awaitOutcome(std::move(connecting));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        QCOMPARE(outcome.value->profile.name, u"Grace Hopper"_s);
        QCOMPARE(outcome.value->profile.memberID, u"demo-grace"_s);
        QCOMPARE(outcome.value->profile.pictureURL,
                 std::optional<QString>(u"https://pictures.example/grace.jpg"_s));
        QCOMPARE(store->load(), outcome.value);
        QCOMPARE(backend->received("/api/linkedin/callback").size(), 1u);
        QVERIFY(sheetOf(*auth)->hasShownWindow());
        // The sheet is gone and the window answers again.
        QCOMPARE(sheetOf(*auth)->blockedWindow(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!running(program), 15000);
        QTest::mouseClick(app.button, Qt::LeftButton);
        QCOMPARE(app.clicks.size(), 1);
    }

    void theWindowTakesNoInputUntilTheSheetIsCancelled() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);
        AppWindow app;
        QVERIFY(QTest::qWaitForWindowExposed(&app.window));

        auto connecting = auth->connect();
        QVERIFY(pageServed(backend));
        SignInSheetSession* sheet = sheetOf(*auth);
        const qint64 program = sheet->processId();
        QVERIFY(running(program));
        QCOMPARE(sheet->blockedWindow(), &app.window);
        QTest::mouseClick(app.button, Qt::LeftButton);
        app.button->setFocus();
        QTest::keyClick(app.button, Qt::Key_Space);
        QCOMPARE(app.clicks.size(), 0);

        sheet->cancel();
        const auto outcome = awaitOutcome(std::move(connecting));
        QCOMPARE(outcome.description(), u"LinkedIn authorization was cancelled."_s);
        QCOMPARE(store->load(), std::nullopt);
        QVERIFY(backend->received("/api/linkedin/callback").empty());
        QTRY_VERIFY_WITH_TIMEOUT(!running(program), 15000);
        QTest::mouseClick(app.button, Qt::LeftButton);
        QCOMPARE(app.clicks.size(), 1);
    }

    void aReplacedSheetEndsItsConnectAsCancelled() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);

        auto first = auth->connect();
        QVERIFY(pageServed(backend));
        const qint64 firstProgram = sheetOf(*auth)->processId();
        // No window of the app is open: the sheet is a window of its own.
        QCOMPARE(sheetOf(*auth)->blockedWindow(), nullptr);

        auto second = auth->connect();
        QCOMPARE(awaitOutcome(std::move(first)).description(),
                 u"LinkedIn authorization was cancelled."_s);
        QTRY_VERIFY_WITH_TIMEOUT(!running(firstProgram), 15000);
        QVERIFY(pageServed(backend, 2));
        const qint64 secondProgram = sheetOf(*auth)->processId();
        QVERIFY(running(secondProgram));

        auth.reset();
        QCOMPARE(awaitOutcome(std::move(second)).description(),
                 u"LinkedIn authorization was cancelled."_s);
        QTRY_VERIFY_WITH_TIMEOUT(!running(secondProgram), 15000);
    }

    void aPrivateSheetSeesNothingOfEarlierSignIns() {
        TestBackend backend(std::chrono::seconds(2));
        // The page tells the stand-in, in the e-mail field, whether it saw an earlier sheet.
        backend->setSignInPageScript(R"(
            const seen = localStorage.getItem('seen') || 'none';
            localStorage.setItem('seen', 'earlier');
            document.getElementById('email').value = seen + '@example.com';
            document.getElementById('allow').click();)");
        auto auth = service(backend);

        QStringList seen;
        for (const bool ephemeral : {false, false, true, false}) {
            auth->setRequiresEphemeralSignIn(ephemeral);
            const auto outcome = awaitOutcome(auth->connect());
            QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
            seen << formField(backend->received("/api/linkedin/callback").back(), u"email"_s);
        }
        QCOMPARE(seen, QStringList({u"none@example.com"_s, u"earlier@example.com"_s,
                                    u"none@example.com"_s, u"earlier@example.com"_s}));
    }

    void aSheetProgramThatFailsEndsTheConnectWithAnError_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("description");
        const QString unreadable =
            u"The sign-in window failed: it gave an answer that cannot be read."_s;
        // A callback is only ever on the app's own scheme; anything else is never sent on.
        QTest::newRow("answers a callback on another scheme")
            << sheets.program(u"other-scheme"_s, "echo 'callback https://evil.example/cb'")
            << unreadable;
        QTest::newRow("answers a callback to the backend on http")
            << sheets.program(u"backend-callback"_s,
                              "echo 'callback http://127.0.0.1/api/linkedin/callback?state=s'")
            << unreadable;
        QTest::newRow("says it is shown twice")
            << sheets.program(u"shown-twice"_s, "echo shown\necho shown\nexec sleep 600")
            << unreadable;
        QTest::newRow("missing") << u"/nonexistent/quillon-signin"_s
                                 << u"The sign-in window failed: it could not be opened."_s;
        QTest::newRow("ends without an answer")
            << u"/bin/false"_s << u"The sign-in window failed: it closed without an answer."_s;
        QTest::newRow("answers something else")
            << u"/bin/echo"_s
            << u"The sign-in window failed: it gave an answer that cannot be read."_s;
    }
    void aSheetProgramThatFailsEndsTheConnectWithAnError() {
        QFETCH(QString, program);
        QFETCH(QString, description);
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend, program);
        AppWindow app;

        const auto outcome = awaitOutcome(auth->connect());
        QCOMPARE(outcome.description(), description);
        QCOMPARE(store->load(), std::nullopt);
        QVERIFY(backend->received("/api/linkedin/callback").empty());
        QVERIFY(backend->received("/api/linkedin/cli/result").empty());
        QCOMPARE(sheetOf(*auth)->blockedWindow(), nullptr);
    }

    void aSheetThatShowsNoWindowEndsTheConnect() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = std::make_unique<LinkedInAuthService>(
            backend.baseURL(), u"quillon"_s, store,
            SignInSheetSession::factory(sheets.hanging(), std::chrono::milliseconds(300)));
        AppWindow app;
        QVERIFY(QTest::qWaitForWindowExposed(&app.window));

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->processId() > 0);
        const qint64 program = sheetOf(*auth)->processId();
        QCOMPARE(awaitOutcome(std::move(connecting)).description(),
                 u"The sign-in window failed: it did not open."_s);
        QCOMPARE(store->load(), std::nullopt);
        QVERIFY(backend->received("/api/linkedin/cli/result").empty());
        QCOMPARE(sheetOf(*auth)->blockedWindow(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!running(program), 15000);
        QTest::mouseClick(app.button, Qt::LeftButton);
        QCOMPARE(app.clicks.size(), 1);
    }

    // The person may take minutes to sign in once the sheet is up.
    void aSheetThatShowedItsWindowHasNoBound() {
        TestBackend backend(std::chrono::seconds(2));
        const std::chrono::milliseconds bound(200);
        auto auth = std::make_unique<LinkedInAuthService>(
            backend.baseURL(), u"quillon"_s, store,
            SignInSheetSession::factory(sheets.stopsAfterShowing(), bound));

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->hasShownWindow());
        // Long past the bound: a bound still running would have ended the sheet by now.
        QTest::qWait(int(bound.count()) * 5);
        QVERIFY(!sheetOf(*auth)->isCompleted());
        QVERIFY(running(sheetOf(*auth)->processId()));
        sheetOf(*auth)->cancel();
        QCOMPARE(awaitOutcome(std::move(connecting)).description(),
                 u"LinkedIn authorization was cancelled."_s);
    }

    void escapeInTheWindowCancelsASheetThatDoesNotAnswer_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("escapeShortcut");
        QTest::newRow("before it shows a window") << sheets.hanging() << false;
        QTest::newRow("after it showed its window") << sheets.stopsAfterShowing() << false;
        QTest::newRow("over the window's own Escape shortcut")
            << sheets.stopsAfterShowing() << true;
    }
    void escapeInTheWindowCancelsASheetThatDoesNotAnswer() {
        QFETCH(QString, program);
        QFETCH(bool, escapeShortcut);
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend, program);
        AppWindow app;
        QShortcut shortcut(QKeySequence(Qt::Key_Escape), &app.window);
        shortcut.setEnabled(escapeShortcut);
        QSignalSpy shortcuts(&shortcut, &QShortcut::activated);
        QApplication::setActiveWindow(&app.window);
        QVERIFY(QTest::qWaitForWindowActive(&app.window));

        auto connecting = auth->connect();
        QTRY_VERIFY(sheetOf(*auth) && sheetOf(*auth)->processId() > 0);
        const qint64 sheetProgram = sheetOf(*auth)->processId();
        app.button->setFocus();
        QTest::keyClick(app.button, Qt::Key_Space);
        QCOMPARE(app.clicks.size(), 0);

        QTest::keyClick(app.button, Qt::Key_Escape);
        QCOMPARE(awaitOutcome(std::move(connecting)).description(),
                 u"LinkedIn authorization was cancelled."_s);
        QCOMPARE(shortcuts.size(), 0);
        QCOMPARE(store->load(), std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(!running(sheetProgram), 15000);
        QTest::keyClick(app.button, Qt::Key_Space);
        QCOMPARE(app.clicks.size(), 1);
    }

    // The main window over a sheet that does not answer: its close button closes it, the
    // unsaved post is kept as on any close, and the sheet goes with it.
    void theWindowClosesOverASheetThatDoesNotAnswer() {
        TestBackend backend(std::chrono::seconds(2));
        AppFixture fixture{backend.baseURL(), SignInSheetSession::factory(sheets.hanging())};
        MainWindow window(fixture.container);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* editor = window.findChild<QPlainTextEdit*>(u"postEditor"_s);
        QVERIFY(editor);
        editor->setFocus();
        editor->selectAll();
        QTest::keyClicks(editor, u"Half a post"_s);
        QCOMPARE(fixture.drafts().editorText(), u"Half a post"_s);

        // The post connects first.
        QTest::mouseClick(window.findChild<QPushButton*>(u"postButton"_s), Qt::LeftButton);
        const auto sheet = [&] {
            return dynamic_cast<SignInSheetSession*>(fixture.container.authService().session());
        };
        QTRY_VERIFY(sheet() && sheet()->processId() > 0);
        const qint64 program = sheet()->processId();
        QCOMPARE(sheet()->blockedWindow(), &window);

        closeFromTheWindowSystem(&window);
        QVERIFY(!window.isVisible());
        const std::optional<UnsavedText> kept = fixture.repository().loadUnsavedText();
        QVERIFY(kept);
        QCOMPARE(kept->text, u"Half a post"_s);
        QTRY_COMPARE(fixture.drafts().statusMessage(),
                     std::optional<QString>(u"LinkedIn authorization was cancelled."_s));
        QTRY_VERIFY_WITH_TIMEOUT(!running(program), 15000);
    }

    void aSheetProgramThatCrashesEndsTheConnectWithAnError() {
        TestBackend backend(std::chrono::seconds(2));
        auto auth = service(backend);

        auto connecting = auth->connect();
        QVERIFY(pageServed(backend));
        QCOMPARE(::kill(pid_t(sheetOf(*auth)->processId()), SIGKILL), 0);
        QCOMPARE(awaitOutcome(std::move(connecting)).description(),
                 u"The sign-in window failed: it closed unexpectedly."_s);
        QCOMPARE(store->load(), std::nullopt);
    }

    // An app killed over a sheet that does not answer takes the sheet with it.
    void aSheetEndsWithAnAppThatIsKilled() {
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QCoreApplication::applicationFilePath(), {hostASheet, sheets.hanging()});
        QVERIFY(app.waitForStarted());
        QVERIFY(app.waitForReadyRead(30000));
        const qint64 program = app.readLine().trimmed().toLongLong();
        QVERIFY(running(program));

        QCOMPARE(::kill(pid_t(app.processId()), SIGKILL), 0);
        QVERIFY(app.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!running(program), 15000);
    }

    void asRootTheWebEnginesSandboxIsTurnedOffOnce() {
        TestBackend backend;
        QProcess sheet;
        const QUrl page = backend.baseURL().resolved(QUrl(u"/signin?state=none"_s));
        sheet.start(sheetProgram(),
                    {u"--callback-scheme"_s, u"quillon"_s, u"--"_s, page.toString()});
        QVERIFY(sheet.waitForStarted());
        QVERIFY(pageServed(backend));
        sheet.closeWriteChannel();
        QVERIFY(sheet.waitForFinished(30000));
        QCOMPARE(sheet.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sheet.exitCode(), 0);

        const QByteArray note =
            "quillon-signin: running as root, so the web engine's sandbox is off\n";
        const QByteArray errors = sheet.readAllStandardError();
        QCOMPARE(errors.count(note), geteuid() == 0 ? 1 : 0);
    }
};

// The app's side of a sign-in, as a process of its own that a test can kill: starts the given
// sheet program, prints its process id and waits.
int hostTheSheet(const QString& program) {
    SignInSheetSession session(
        program, QUrl(u"http://127.0.0.1:9/signin"_s), u"quillon"_s,
        [](std::optional<QUrl>, std::optional<WebAuthenticationSessionError>) {
            QCoreApplication::exit(1);
        });
    if (!session.start() || !QTest::qWaitFor([&] { return session.processId() > 0; })) {
        return 1;
    }
    std::printf("%lld\n", session.processId());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc == 3 && QLatin1String(argv[1]) == hostASheet) {
        return hostTheSheet(QString::fromLocal8Bit(argv[2]));
    }
    TestSignInSheet test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_signinsheet.moc"
