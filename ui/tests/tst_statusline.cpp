#include "tests/support/TestBackend.h"
#include "ui/account/AccountDetailView.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/editor/EditorView.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/feedback/FeedbackView.h"
#include "ui/kit/StatusLine.h"
#include "ui/tests/AccessibilityEvents.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/websignin/SignInSheetSession.h"
#include "ui/window/PostToast.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;

namespace {

// Shown and active, so that focus behaves as for a user.
void showActive(QWidget* window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Where the connection's start request goes.
enum class Backend { none, runs, refuses };

// Lets the status lines tell what the last turn of the event loop set.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

// What the line shows: its text while it is in sight, else nothing.
QString shown(const StatusLine* line) {
    return line && line->isVisible() ? line->text() : QString();
}

} // namespace

class TestStatusLine : public QObject {
    Q_OBJECT

    QTemporaryDir programs;

    // A sheet program that starts and then neither shows a window nor answers.
    QString hangingSheet() {
        QString path = programs.filePath(u"hanging-sheet"_s);
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\nexec sleep 600\n") < 0) {
            return {};
        }
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void eachMessageIsShownAndAnnouncedWithoutTakingTheFocus_data() {
        // One entry per turn of the event loop; its lines are the messages set in that turn.
        QTest::addColumn<QStringList>("turns");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("announced");
        QTest::newRow("one message")
            << QStringList{u"Draft saved"_s} << u"Draft saved"_s << QStringList{u"Draft saved"_s};
        QTest::newRow("cleared later") << QStringList{u"Draft saved"_s, QString()} << QString()
                                       << QStringList{u"Draft saved"_s};
        QTest::newRow("the same outcome twice")
            << QStringList{u"Draft saved"_s, u"Draft saved"_s} << u"Draft saved"_s
            << QStringList{u"Draft saved"_s, u"Draft saved"_s};
        QTest::newRow("replaced later")
            << QStringList{u"Draft saved"_s, u"Draft is empty"_s} << u"Draft is empty"_s
            << QStringList{u"Draft saved"_s, u"Draft is empty"_s};
        QTest::newRow("cleared in the same turn")
            << QStringList{u"Draft saved\n"_s} << QString() << QStringList{};
        QTest::newRow("replaced in the same turn")
            << QStringList{u"Draft saved\nPosted to LinkedIn"_s} << u"Posted to LinkedIn"_s
            << QStringList{u"Posted to LinkedIn"_s};
        QTest::newRow("nothing to tell") << QStringList{QString()} << QString() << QStringList{};
        QTest::newRow("markup stays text")
            << QStringList{u"<b>502</b> & co"_s} << u"<b>502</b> & co"_s
            << QStringList{u"<b>502</b> & co"_s};
    }
    void eachMessageIsShownAndAnnouncedWithoutTakingTheFocus() {
        QFETCH(QStringList, turns);
        QFETCH(QString, shown);
        QFETCH(QStringList, announced);
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new QPushButton(u"Save draft"_s);
        auto* line = new StatusLine;
        layout->addWidget(line);
        layout->addWidget(button);
        window.resize(300, 200);
        showActive(&window);
        button->setFocus();
        line->setMessage(u"Earlier"_s);
        settle();
        accessibility.clear();
        QSignalSpy focusMoves(qApp, &QApplication::focusChanged);

        for (const QString& turn : turns) {
            for (const QString& message : turn.split(u'\n')) {
                line->setMessage(message);
            }
            settle();
        }

        QCOMPARE(::shown(line), shown);
        QCOMPARE(line->isVisible(), !shown.isEmpty());
        QCOMPARE(accessibility.announcements(), announced);
        QCOMPARE(QApplication::focusWidget(), button);
        QCOMPARE(focusMoves.count(), 0);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(line);
        QCOMPARE(accessible->role(), QAccessible::Notification);
        QCOMPARE(accessible->text(QAccessible::Name), line->text());
    }

    void aLineWithTheFocusKeepsIt() {
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* line = new StatusLine;
        layout->addWidget(line);
        layout->addWidget(new QPushButton(u"Save draft"_s));
        window.resize(300, 200);
        showActive(&window);
        line->setMessage(u"Request failed with status 502."_s);
        settle();
        // Clicked to select and copy the text.
        QTest::mouseClick(line, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), line);
        QSignalSpy focusMoves(qApp, &QApplication::focusChanged);

        line->setMessage(u"Draft saved"_s);
        settle();

        QCOMPARE(shown(line), u"Draft saved"_s);
        QCOMPARE(QApplication::focusWidget(), line);
        QCOMPARE(focusMoves.count(), 0);
    }

    void aMessageForAPageOutOfSightIsToldWhenItAppears() {
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* page = new QWidget;
        auto* line = new StatusLine(page);
        layout->addWidget(page);
        page->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        line->setMessage(u"Logged out."_s);
        settle();
        QCOMPARE(accessibility.announcements(), QStringList{});
        page->show();
        QCOMPARE(accessibility.announcements(), QStringList{u"Logged out."_s});
    }

    void theEditorTellsWhatHappened_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("announced");
        QTest::newRow("saved") << u"type save"_s << u"Draft saved"_s
                               << QStringList{u"Draft saved"_s};
        QTest::newRow("saved twice") << u"type save save"_s << u"Draft saved"_s
                                     << QStringList{u"Draft saved"_s, u"Draft saved"_s};
        QTest::newRow("nothing to save")
            << u"blank save"_s << u"Draft is empty"_s << QStringList{u"Draft is empty"_s};
        QTest::newRow("cleared for a new post")
            << u"type save clear"_s << QString() << QStringList{u"Draft saved"_s};
        QTest::newRow("opening a draft keeps it")
            << u"type save open"_s << u"Draft saved"_s << QStringList{u"Draft saved"_s};
        QTest::newRow("another member's drafts")
            << u"type save owner"_s << QString() << QStringList{u"Draft saved"_s};
        QTest::newRow("posted") << u"connected type post"_s << u"Posted to LinkedIn"_s
                                << QStringList{u"Posted to LinkedIn"_s};
        QTest::newRow("refused by the backend")
            << u"connected failing type post"_s << u"LinkedIn is down right now."_s
            << QStringList{u"LinkedIn is down right now."_s};
        QTest::newRow("the same failure twice")
            << u"connected failing type post post"_s << u"LinkedIn is down right now."_s
            << QStringList{u"LinkedIn is down right now."_s, u"LinkedIn is down right now."_s};
        QTest::newRow("an empty post")
            << u"connected blank post"_s << u"Post is empty."_s << QStringList{u"Post is empty."_s};
    }
    void theEditorTellsWhatHappened() {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        QFETCH(QStringList, announced);
        RecordingBrowser browser;
        TestBackend backend;
        AppFixture app(backend.baseURL());
        const Draft other = app.storeDraft(std::nullopt, u"an older draft"_s);
        app.drafts().setOwner(std::nullopt);
        EditorView view(
            app.drafts(), app.session(), app.container.postFlow(), [] {}, [](AppTelemetryEvent) {});
        view.resize(700, 900);
        showActive(&view);
        AccessibilityEvents accessibility;
        auto* line = view.findChild<StatusLine*>(u"statusLine"_s);
        QVERIFY(line);
        QVERIFY(!line->isVisible());

        for (const QStringView step : QStringView(steps).split(u' ')) {
            if (step == u"connected") {
                app.session().save(tokenFor(u"m1"_s));
            } else if (step == u"failing") {
                backend->setFailure("/api/linkedin/post",
                                    {502, "upstream_failed", "LinkedIn is down right now."});
            } else if (step == u"type") {
                app.drafts().setEditorText(u"A thought worth keeping"_s);
            } else if (step == u"blank") {
                app.drafts().setEditorText(u" \n\t "_s);
            } else if (step == u"save") {
                QTest::mouseClick(view.findChild<QPushButton*>(u"saveDraftButton"_s),
                                  Qt::LeftButton);
            } else if (step == u"clear") {
                QTest::mouseClick(view.findChild<QToolButton*>(u"clearPostButton"_s),
                                  Qt::LeftButton);
            } else if (step == u"open") {
                app.drafts().openDraft(other);
            } else if (step == u"owner") {
                app.drafts().setOwner(u"m2"_s);
            } else if (step == u"post") {
                QTest::mouseClick(view.findChild<QPushButton*>(u"postButton"_s), Qt::LeftButton);
                // An empty post is refused before anything is sent.
                if (view.isPosting()) {
                    QTRY_VERIFY_WITH_TIMEOUT(!view.isPosting(), 15000);
                }
            } else {
                QFAIL(qPrintable(u"unknown step "_s + step.toString()));
            }
            settle();
        }

        QCOMPARE(::shown(line), shown);
        QCOMPARE(accessibility.announcements(), announced);
    }

    void aNewEditorShowsTheLastOutcome() {
        AppFixture app;
        app.drafts().setStatusMessage(u"Posted to LinkedIn"_s);
        EditorView view(
            app.drafts(), app.session(), app.container.postFlow(), [] {}, [](AppTelemetryEvent) {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(shown(view.findChild<StatusLine*>(u"statusLine"_s)), u"Posted to LinkedIn"_s);
    }

    void aFailedConnectInSettingsSaysWhy_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("backendState");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no backend")
            << u"/bin/false"_s << int(Backend::none) << u"Connection refused"_s;
        QTest::newRow("the backend refuses")
            << u"/bin/false"_s << int(Backend::refuses) << u"Sign-in is unavailable right now."_s;
        QTest::newRow("the sheet is missing")
            << u"/nonexistent/quillon-signin"_s << int(Backend::runs)
            << u"The sign-in window failed: it could not be opened."_s;
        QTest::newRow("the sheet answers garbage")
            << u"/bin/echo"_s << int(Backend::runs)
            << u"The sign-in window failed: it gave an answer that cannot be read."_s;
        QTest::newRow("the sheet ends without an answer")
            << u"/bin/false"_s << int(Backend::runs)
            << u"The sign-in window failed: it closed without an answer."_s;
        QTest::newRow("the sheet shows no window")
            << hangingSheet() << int(Backend::runs)
            << u"The sign-in window failed: it did not open."_s;
    }
    void aFailedConnectInSettingsSaysWhy() {
        QFETCH(QString, program);
        QFETCH(int, backendState);
        QFETCH(QString, shown);
        // Short only for the sheet that hangs, which is the one to meet it.
        const auto windowBound = program == hangingSheet() ? std::chrono::milliseconds(300)
                                                           : SignInSheetSession::defaultWindowBound;
        const bool backendRuns = Backend(backendState) != Backend::none;
        TestBackend backend;
        if (Backend(backendState) == Backend::refuses) {
            backend->setFailure("/api/linkedin/cli/start",
                                {503, "unavailable", "Sign-in is unavailable right now."});
        }
        AppFixture app(backendRuns ? backend.baseURL() : QUrl(u"http://127.0.0.1:9/"_s),
                       SignInSheetSession::factory(program, windowBound));
        AccountSettingsView settings(app.session(), app.container.connectFlow(),
                                     app.container.accountFlow(), &app.container.feedbackFlow(),
                                     [](AppTelemetryEvent) {});
        settings.resize(700, 600);
        showActive(&settings);
        AccessibilityEvents accessibility;

        QTest::mouseClick(settings.findChild<QPushButton*>(u"connectButton"_s), Qt::LeftButton);
        QVERIFY(settings.isConnecting());
        QTRY_VERIFY_WITH_TIMEOUT(!settings.isConnecting(), 15000);
        settle();

        QCOMPARE(app.session().statusMessage(), std::optional<QString>(shown));
        QCOMPARE(::shown(settings.findChild<StatusLine*>(u"statusLine"_s)), shown);
        QCOMPARE(accessibility.announcements(), QStringList{shown});
    }

    void settingsFollowTheSessionsMessage() {
        AppFixture app;
        AccountSettingsView settings(app.session(), app.container.connectFlow(),
                                     app.container.accountFlow(), nullptr,
                                     [](AppTelemetryEvent) {});
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        auto* line = settings.findChild<StatusLine*>(u"statusLine"_s);
        QCOMPARE(shown(line), QString());

        // Left by the account page as it closes.
        app.session().setStatusMessage(u"Logged out."_s);
        settle();
        QCOMPARE(shown(line), u"Logged out."_s);
        // A connection clears it.
        app.session().save(tokenFor(u"m1"_s));
        QCOMPARE(shown(line), QString());
    }

    void theFeedbackResultIsAnnounced_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("result");
        QTest::newRow("sent") << u"The editor is great."_s
                              << u"Sent. Confirmation was emailed to you."_s;
        QTest::newRow("empty") << u"   "_s << u"Feedback message is empty."_s;
    }
    void theFeedbackResultIsAnnounced() {
        QFETCH(QString, message);
        QFETCH(QString, result);
        TestBackend backend;
        AppFixture app(backend.baseURL());
        app.session().save(tokenFor(u"m1"_s));
        FeedbackSheet sheet(app.session(), app.container.feedbackFlow(), [](AppTelemetryEvent) {});
        showActive(&sheet);
        QTest::keyClicks(sheet.findChild<QLineEdit*>(u"titleField"_s), u"Hello"_s);
        QTest::keyClicks(sheet.findChild<QPlainTextEdit*>(u"messageEditor"_s), message);
        AccessibilityEvents accessibility;

        QTest::mouseClick(sheet.findChild<QPushButton*>(u"sendButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet.form()->statusMessage().isEmpty(), 15000);
        settle();

        QCOMPARE(sheet.form()->statusMessage(), result);
        QCOMPARE(shown(sheet.findChild<StatusLine*>(u"statusLine"_s)), result);
        QCOMPARE(accessibility.announcements(), QStringList{result});
    }

    void theAccountPagesMessageIsAnnounced() {
        TestBackend backend;
        backend->setFailure("/api/linkedin/disconnect",
                            {502, "unavailable", "LinkedIn disconnect is unavailable."});
        AppFixture app(backend.baseURL());
        app.session().save(tokenFor(u"m1"_s));
        AccountSettingsView settings(app.session(), app.container.connectFlow(),
                                     app.container.accountFlow(), nullptr,
                                     [](AppTelemetryEvent) {});
        settings.resize(700, 600);
        showActive(&settings);
        settings.openAccount();
        AccountDetailView* page = settings.accountPage();
        QVERIFY(page);
        AccessibilityEvents accessibility;

        page->logOut();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isLoggingOut(), 15000);
        settle();

        QCOMPARE(shown(page->findChild<StatusLine*>(u"statusLine"_s)),
                 u"LinkedIn disconnect is unavailable."_s);
        QCOMPARE(accessibility.announcements(),
                 QStringList{u"LinkedIn disconnect is unavailable."_s});
    }

    void theToastIsAnnouncedWithoutTakingTheFocus_data() {
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("heard");
        QTest::newRow("posted") << QString() << u"Posted to LinkedIn"_s;
        QTest::newRow("posted, token not kept")
            << u"Connected for this session only: the keyring is locked."_s
            << u"Posted to LinkedIn. Connected for this session only: the keyring is locked."_s;
    }
    void theToastIsAnnouncedWithoutTakingTheFocus() {
        QFETCH(QString, detail);
        QFETCH(QString, heard);
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new QPushButton(u"Post to LinkedIn"_s);
        layout->addWidget(button);
        window.resize(500, 300);
        showActive(&window);
        button->setFocus();
        auto* toast = new PostToast(&window);
        QSignalSpy focusMoves(qApp, &QApplication::focusChanged);

        toast->setDetail(detail);
        toast->present();

        QCOMPARE(accessibility.announcements(), QStringList{heard});
        QCOMPARE(QApplication::focusWidget(), button);
        QCOMPARE(focusMoves.count(), 0);
    }
};

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
