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
        QString path = programs.filePath(u"hanging-sheet"_qs);
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
        QTest::newRow("one message") << QStringList{u"Draft saved"_qs} << u"Draft saved"_qs
                                     << QStringList{u"Draft saved"_qs};
        QTest::newRow("cleared later") << QStringList{u"Draft saved"_qs, QString()} << QString()
                                       << QStringList{u"Draft saved"_qs};
        QTest::newRow("the same outcome twice")
            << QStringList{u"Draft saved"_qs, u"Draft saved"_qs} << u"Draft saved"_qs
            << QStringList{u"Draft saved"_qs, u"Draft saved"_qs};
        QTest::newRow("replaced later")
            << QStringList{u"Draft saved"_qs, u"Draft is empty"_qs} << u"Draft is empty"_qs
            << QStringList{u"Draft saved"_qs, u"Draft is empty"_qs};
        QTest::newRow("cleared in the same turn")
            << QStringList{u"Draft saved\n"_qs} << QString() << QStringList{};
        QTest::newRow("replaced in the same turn")
            << QStringList{u"Draft saved\nPosted to LinkedIn"_qs} << u"Posted to LinkedIn"_qs
            << QStringList{u"Posted to LinkedIn"_qs};
        QTest::newRow("nothing to tell") << QStringList{QString()} << QString() << QStringList{};
        QTest::newRow("markup stays text")
            << QStringList{u"<b>502</b> & co"_qs} << u"<b>502</b> & co"_qs
            << QStringList{u"<b>502</b> & co"_qs};
    }
    void eachMessageIsShownAndAnnouncedWithoutTakingTheFocus() {
        QFETCH(QStringList, turns);
        QFETCH(QString, shown);
        QFETCH(QStringList, announced);
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new QPushButton(u"Save draft"_qs);
        auto* line = new StatusLine;
        layout->addWidget(line);
        layout->addWidget(button);
        window.resize(300, 200);
        showActive(&window);
        button->setFocus();
        line->setMessage(u"Earlier"_qs);
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
        layout->addWidget(new QPushButton(u"Save draft"_qs));
        window.resize(300, 200);
        showActive(&window);
        line->setMessage(u"Request failed with status 502."_qs);
        settle();
        // Clicked to select and copy the text.
        QTest::mouseClick(line, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), line);
        QSignalSpy focusMoves(qApp, &QApplication::focusChanged);

        line->setMessage(u"Draft saved"_qs);
        settle();

        QCOMPARE(shown(line), u"Draft saved"_qs);
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

        line->setMessage(u"Logged out."_qs);
        settle();
        QCOMPARE(accessibility.announcements(), QStringList{});
        page->show();
        QCOMPARE(accessibility.announcements(), QStringList{u"Logged out."_qs});
    }

    void theEditorTellsWhatHappened_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("announced");
        QTest::newRow("saved") << u"type save"_qs << u"Draft saved"_qs
                               << QStringList{u"Draft saved"_qs};
        QTest::newRow("saved twice") << u"type save save"_qs << u"Draft saved"_qs
                                     << QStringList{u"Draft saved"_qs, u"Draft saved"_qs};
        QTest::newRow("nothing to save")
            << u"blank save"_qs << u"Draft is empty"_qs << QStringList{u"Draft is empty"_qs};
        QTest::newRow("cleared for a new post")
            << u"type save clear"_qs << QString() << QStringList{u"Draft saved"_qs};
        QTest::newRow("opening a draft keeps it")
            << u"type save open"_qs << u"Draft saved"_qs << QStringList{u"Draft saved"_qs};
        QTest::newRow("another member's drafts")
            << u"type save owner"_qs << QString() << QStringList{u"Draft saved"_qs};
        QTest::newRow("posted") << u"connected type post"_qs << u"Posted to LinkedIn"_qs
                                << QStringList{u"Posted to LinkedIn"_qs};
        QTest::newRow("refused by the backend")
            << u"connected failing type post"_qs << u"LinkedIn is down right now."_qs
            << QStringList{u"LinkedIn is down right now."_qs};
        QTest::newRow("the same failure twice")
            << u"connected failing type post post"_qs << u"LinkedIn is down right now."_qs
            << QStringList{u"LinkedIn is down right now."_qs, u"LinkedIn is down right now."_qs};
        QTest::newRow("an empty post") << u"connected blank post"_qs << u"Post is empty."_qs
                                       << QStringList{u"Post is empty."_qs};
    }
    void theEditorTellsWhatHappened() {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        QFETCH(QStringList, announced);
        RecordingBrowser browser;
        TestBackend backend;
        AppFixture app(backend.baseURL());
        const Draft other = app.storeDraft(std::nullopt, u"an older draft"_qs);
        app.drafts().setOwner(std::nullopt);
        EditorView view(
            app.drafts(), app.session(), app.container.postFlow(), [] {}, [](AppTelemetryEvent) {});
        view.resize(700, 900);
        showActive(&view);
        AccessibilityEvents accessibility;
        auto* line = view.findChild<StatusLine*>(u"statusLine"_qs);
        QVERIFY(line);
        QVERIFY(!line->isVisible());

        for (const QStringView step : QStringView(steps).split(u' ')) {
            if (step == u"connected") {
                app.session().save(tokenFor(u"m1"_qs));
            } else if (step == u"failing") {
                backend->setFailure("/api/linkedin/post",
                                    {502, "upstream_failed", "LinkedIn is down right now."});
            } else if (step == u"type") {
                app.drafts().setEditorText(u"A thought worth keeping"_qs);
            } else if (step == u"blank") {
                app.drafts().setEditorText(u" \n\t "_qs);
            } else if (step == u"save") {
                QTest::mouseClick(view.findChild<QPushButton*>(u"saveDraftButton"_qs),
                                  Qt::LeftButton);
            } else if (step == u"clear") {
                QTest::mouseClick(view.findChild<QToolButton*>(u"clearPostButton"_qs),
                                  Qt::LeftButton);
            } else if (step == u"open") {
                app.drafts().openDraft(other);
            } else if (step == u"owner") {
                app.drafts().setOwner(u"m2"_qs);
            } else if (step == u"post") {
                QTest::mouseClick(view.findChild<QPushButton*>(u"postButton"_qs), Qt::LeftButton);
                // An empty post is refused before anything is sent.
                if (view.isPosting()) {
                    QTRY_VERIFY_WITH_TIMEOUT(!view.isPosting(), 15000);
                }
            } else {
                QFAIL(qPrintable(u"unknown step "_qs + step.toString()));
            }
            settle();
        }

        QCOMPARE(::shown(line), shown);
        QCOMPARE(accessibility.announcements(), announced);
    }

    void aNewEditorShowsTheLastOutcome() {
        AppFixture app;
        app.drafts().setStatusMessage(u"Posted to LinkedIn"_qs);
        EditorView view(
            app.drafts(), app.session(), app.container.postFlow(), [] {}, [](AppTelemetryEvent) {});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(shown(view.findChild<StatusLine*>(u"statusLine"_qs)), u"Posted to LinkedIn"_qs);
    }

    void aFailedConnectInSettingsSaysWhy_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("backendState");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no backend")
            << u"/bin/false"_qs << int(Backend::none) << u"Connection refused"_qs;
        QTest::newRow("the backend refuses")
            << u"/bin/false"_qs << int(Backend::refuses) << u"Sign-in is unavailable right now."_qs;
        QTest::newRow("the sheet is missing")
            << u"/nonexistent/quillon-signin"_qs << int(Backend::runs)
            << u"The sign-in window failed: it could not be opened."_qs;
        QTest::newRow("the sheet answers garbage")
            << u"/bin/echo"_qs << int(Backend::runs)
            << u"The sign-in window failed: it gave an answer that cannot be read."_qs;
        QTest::newRow("the sheet ends without an answer")
            << u"/bin/false"_qs << int(Backend::runs)
            << u"The sign-in window failed: it closed without an answer."_qs;
        QTest::newRow("the sheet shows no window")
            << hangingSheet() << int(Backend::runs)
            << u"The sign-in window failed: it did not open."_qs;
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
        AppFixture app(backendRuns ? backend.baseURL() : QUrl(u"http://127.0.0.1:9/"_qs),
                       SignInSheetSession::factory(program, windowBound));
        AccountSettingsView settings(app.session(), app.container.connectFlow(),
                                     app.container.accountFlow(), &app.container.feedbackFlow(),
                                     [](AppTelemetryEvent) {});
        settings.resize(700, 600);
        showActive(&settings);
        AccessibilityEvents accessibility;

        QTest::mouseClick(settings.findChild<QPushButton*>(u"connectButton"_qs), Qt::LeftButton);
        QVERIFY(settings.isConnecting());
        QTRY_VERIFY_WITH_TIMEOUT(!settings.isConnecting(), 15000);
        settle();

        QCOMPARE(app.session().statusMessage(), std::optional<QString>(shown));
        QCOMPARE(::shown(settings.findChild<StatusLine*>(u"statusLine"_qs)), shown);
        QCOMPARE(accessibility.announcements(), QStringList{shown});
    }

    void settingsFollowTheSessionsMessage() {
        AppFixture app;
        AccountSettingsView settings(app.session(), app.container.connectFlow(),
                                     app.container.accountFlow(), nullptr,
                                     [](AppTelemetryEvent) {});
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        auto* line = settings.findChild<StatusLine*>(u"statusLine"_qs);
        QCOMPARE(shown(line), QString());

        // Left by the account page as it closes.
        app.session().setStatusMessage(u"Logged out."_qs);
        settle();
        QCOMPARE(shown(line), u"Logged out."_qs);
        // A connection clears it.
        app.session().save(tokenFor(u"m1"_qs));
        QCOMPARE(shown(line), QString());
    }

    void theFeedbackResultIsAnnounced_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("result");
        QTest::newRow("sent") << u"The editor is great."_qs
                              << u"Sent. Confirmation was emailed to you."_qs;
        QTest::newRow("empty") << u"   "_qs << u"Feedback message is empty."_qs;
    }
    void theFeedbackResultIsAnnounced() {
        QFETCH(QString, message);
        QFETCH(QString, result);
        TestBackend backend;
        AppFixture app(backend.baseURL());
        app.session().save(tokenFor(u"m1"_qs));
        FeedbackSheet sheet(app.session(), app.container.feedbackFlow(), [](AppTelemetryEvent) {});
        showActive(&sheet);
        QTest::keyClicks(sheet.findChild<QLineEdit*>(u"titleField"_qs), u"Hello"_qs);
        QTest::keyClicks(sheet.findChild<QPlainTextEdit*>(u"messageEditor"_qs), message);
        AccessibilityEvents accessibility;

        QTest::mouseClick(sheet.findChild<QPushButton*>(u"sendButton"_qs), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!sheet.form()->statusMessage().isEmpty(), 15000);
        settle();

        QCOMPARE(sheet.form()->statusMessage(), result);
        QCOMPARE(shown(sheet.findChild<StatusLine*>(u"statusLine"_qs)), result);
        QCOMPARE(accessibility.announcements(), QStringList{result});
    }

    void theAccountPagesMessageIsAnnounced() {
        TestBackend backend;
        backend->setFailure("/api/linkedin/disconnect",
                            {502, "unavailable", "LinkedIn disconnect is unavailable."});
        AppFixture app(backend.baseURL());
        app.session().save(tokenFor(u"m1"_qs));
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

        QCOMPARE(shown(page->findChild<StatusLine*>(u"statusLine"_qs)),
                 u"LinkedIn disconnect is unavailable."_qs);
        QCOMPARE(accessibility.announcements(),
                 QStringList{u"LinkedIn disconnect is unavailable."_qs});
    }

    void theToastIsAnnouncedWithoutTakingTheFocus_data() {
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("heard");
        QTest::newRow("posted") << QString() << u"Posted to LinkedIn"_qs;
        QTest::newRow("posted, token not kept")
            << u"Connected for this session only: the keyring is locked."_qs
            << u"Posted to LinkedIn. Connected for this session only: the keyring is locked."_qs;
    }
    void theToastIsAnnouncedWithoutTakingTheFocus() {
        QFETCH(QString, detail);
        QFETCH(QString, heard);
        AccessibilityEvents accessibility;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* button = new QPushButton(u"Post to LinkedIn"_qs);
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
