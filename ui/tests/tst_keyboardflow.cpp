#include "core/backend/LinkedInAuthService.h"
#include "core/backend/WebAuthenticationSession.h"
#include "tests/support/TestBackend.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/feedback/FeedbackView.h"
#include "ui/kit/ContentButton.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/window/FeedbackButton.h"
#include "ui/window/MainSplitView.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using namespace quillon::testsupport;
using Section = MainSplitView::Section;

namespace {

// Stands in for the sign-in program: its window takes the activation from the app's, as the
// real sheet's does, and it ends when the test closes it.
class OtherProgramSheet final : public WebAuthenticationSession {
public:
    using WebAuthenticationSession::WebAuthenticationSession;
    ~OtherProgramSheet() override { delete m_window; }

    bool start() override {
        m_window = new QWidget;
        m_window->resize(300, 300);
        m_window->show();
        QApplication::setActiveWindow(m_window);
        return true;
    }
    void cancel() override {
        complete(std::nullopt,
                 WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    }
    bool isShown() const { return m_window && m_window->isVisible(); }

private:
    QWidget* m_window = nullptr;
};

// The window's root over the app's container and the stand-in backend.
struct Window {
    QList<AppTelemetryEvent> events;
    TestBackend backend{std::chrono::seconds(2)};
    OtherProgramSheet* sheet = nullptr;
    AppFixture app{
        backend.baseURL(),
        [this](QUrl url, QString scheme, WebAuthenticationSession::CompletionHandler done)
            -> std::unique_ptr<WebAuthenticationSession> {
            auto made = std::make_unique<OtherProgramSheet>(std::move(url), std::move(scheme),
                                                            std::move(done));
            sheet = made.get();
            return made;
        }};
    std::unique_ptr<MainSplitView> view = std::make_unique<MainSplitView>(
        app.drafts(), app.session(), app.container.postFlow(), app.container.connectFlow(),
        app.container.accountFlow(), app.container.feedbackFlow(),
        [this](AppTelemetryEvent e) { events.append(e); });
    RecordingBrowser browser;

    Window() {
        view->resize(900, 650);
        view->show();
        QApplication::setActiveWindow(view.get());
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
    }

    template <typename T = QWidget> T* find(const char* name) const {
        return view->currentPane()->findChild<T*>(QString::fromLatin1(name));
    }
    QWidget* focus() const { return view->window()->focusWidget(); }
    // A control reached with Tab and pressed with Space, as a keyboard user does it.
    static void press(QWidget* control) {
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, Qt::Key_Space);
    }
    QList<ContentButton*> openButtons() const {
        return view->currentPane()->findChildren<ContentButton*>(u"openDraftButton"_s);
    }
};

} // namespace

class TestKeyboardFlow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The sign-in runs in a window of another program; once it ends, without a connection,
    // the focus is back on the control that started it, not on the floating button Qt moved
    // it to while that control was disabled.
    void aSignInThatEndsGivesTheFocusBack_data() {
        QTest::addColumn<Section>("section");
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("reactivatedFirst");
        QTest::newRow("post, sheet closed, answer after the window is back")
            << Section::editor << u"postButton"_s << true;
        QTest::newRow("post, sheet closed, answer while another window is active")
            << Section::editor << u"postButton"_s << false;
        QTest::newRow("Connect LinkedIn, sheet closed, window back first")
            << Section::settings << u"connectButton"_s << true;
        QTest::newRow("Connect LinkedIn, answer while another window is active")
            << Section::settings << u"connectButton"_s << false;
    }
    void aSignInThatEndsGivesTheFocusBack() {
        QFETCH(Section, section);
        QFETCH(QString, control);
        QFETCH(bool, reactivatedFirst);
        Window w;
        w.view->selectSection(section);
        w.app.drafts().setEditorText(u"Not posted"_s);
        auto* button = w.find<QPushButton>(control.toLatin1().constData());
        w.press(button);
        QTRY_VERIFY(w.sheet && w.sheet->isShown());
        QVERIFY(!button->isEnabled());
        // Meanwhile the focus waits beside the button, not on the floating one.
        QVERIFY(w.focus() != w.view->feedbackButton());
        QVERIFY(w.focus()->isAncestorOf(button));

        if (reactivatedFirst) {
            QApplication::setActiveWindow(w.view.get());
        }
        w.sheet->cancel();
        QTRY_VERIFY(button->isEnabled());
        QApplication::setActiveWindow(w.view.get());
        QVERIFY(QTest::qWaitForWindowActive(w.view.get()));
        QCOMPARE(QApplication::focusWidget(), button);
        QVERIFY(QApplication::focusWidget() != w.view->feedbackButton());
    }

    // Connected from Settings, the button that started it is gone; the account button that
    // took its place has the focus.
    void aConnectFromSettingsLandsOnTheAccountButton() {
        Window w;
        w.view->selectSection(Section::settings);
        w.press(w.find<QPushButton>("connectButton"));
        QTRY_VERIFY(w.sheet && w.sheet->isShown());
        w.app.session().save(tokenFor(u"m1"_s));
        w.sheet->cancel();
        QTRY_VERIFY(!qobject_cast<AccountSettingsView*>(w.view->currentPane())->isConnecting());
        QCOMPARE(w.focus(), w.find("accountButton"));
    }

    void aPostLandsTheFocusOnInsights() {
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        w.app.drafts().setEditorText(u"Hello"_s);
        w.press(w.find("postButton"));
        QTRY_COMPARE(w.view->selection(), Section::insights);
        auto* firstCard = w.view->currentPane()->findChild<ContentButton*>(u"insightCard"_s);
        QVERIFY(firstCard);
        QCOMPARE(w.focus(), firstCard);
    }

    void aFailedPostKeepsTheFocusOnItsButton() {
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        w.backend->setFailure("/api/linkedin/post", {502, "unavailable", "LinkedIn is down."});
        w.app.drafts().setEditorText(u"Hello"_s);
        auto* post = w.find<QPushButton>("postButton");
        w.press(post);
        QVERIFY(!post->isEnabled());
        QTRY_VERIFY(post->isEnabled());
        QCOMPARE(w.view->selection(), Section::editor);
        QCOMPARE(w.focus(), post);
    }

    // The focus goes to the row that takes the deleted one's place, else to the list's empty
    // state; never on to the floating button.
    void deletingADraftLandsOnTheNextRow_data() {
        QTest::addColumn<int>("drafts");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("landsOn");
        // Newest first: "draft 3" heads the list.
        QTest::newRow("first of three: the next one") << 3 << 0 << u"draft 2"_s;
        QTest::newRow("middle of three: the next one") << 3 << 1 << u"draft 1"_s;
        QTest::newRow("last of three: the previous one") << 3 << 2 << u"draft 2"_s;
        QTest::newRow("the only one: the empty list") << 1 << 0 << u"No drafts"_s;
    }
    void deletingADraftLandsOnTheNextRow() {
        QFETCH(int, drafts);
        QFETCH(int, deleted);
        QFETCH(QString, landsOn);
        Window w;
        for (int i = 1; i <= drafts; ++i) {
            w.app.drafts().setEditorText(u"draft %1"_s.arg(i));
            w.app.drafts().saveDraft();
            w.app.drafts().newPost();
        }
        w.view->selectSection(Section::drafts);
        auto removes = w.view->currentPane()->findChildren<QWidget*>(u"deleteDraftButton"_s);
        QCOMPARE(removes.size(), drafts);
        QSignalSpy moves(qApp, &QApplication::focusChanged);
        w.press(removes[deleted]);
        QCOMPARE(w.app.drafts().drafts().size(), drafts - 1);
        QVERIFY(w.focus());
        QCOMPARE(w.focus()->accessibleName(), landsOn);
        QVERIFY(w.view->currentPane()->isAncestorOf(w.focus()));
        // Straight there, through no other control.
        QCOMPARE(moves.size(), 2); // onto the cross by Tab, then onto the row
        QVERIFY(w.focus()->isVisible());
        // The new rows keep the pane's place in the tab chain: Tab goes on to the row's cross,
        // the floating button comes after the list.
        QTest::keyClick(w.focus(), Qt::Key_Tab);
        QCOMPARE(w.focus()->accessibleName(),
                 drafts == 1 ? u"Send feedback"_s : u"Delete draft %1"_s.arg(landsOn));
    }

    void openingADraftMovesTheFocusOnce() {
        Window w;
        w.app.drafts().setEditorText(u"to be opened"_s);
        w.app.drafts().saveDraft();
        w.view->selectSection(Section::drafts);
        ContentButton* open = w.openButtons().value(0);
        QVERIFY(open);
        open->setFocus(Qt::TabFocusReason);
        QSignalSpy moves(qApp, &QApplication::focusChanged);
        QTest::keyClick(open, Qt::Key_Space);
        QCOMPARE(w.view->selection(), Section::editor);
        auto* editor = qobject_cast<EditorView*>(w.view->currentPane())->editor();
        QCOMPARE(w.focus(), editor);
        QCOMPARE(moves.size(), 1);
        QCOMPARE(moves.at(0).at(1).value<QWidget*>(), editor);
    }

    // A section chosen in the sidebar keeps the focus there; nothing falls to the button.
    void choosingASectionKeepsTheFocusInTheSidebar() {
        Window w;
        w.view->sidebar()->setFocus(Qt::TabFocusReason);
        QSignalSpy moves(qApp, &QApplication::focusChanged);
        // From Editor up through Drafts to Insights.
        QTest::keyClick(w.view->sidebar(), Qt::Key_Up);
        QTest::keyClick(w.view->sidebar(), Qt::Key_Up);
        QCOMPARE(w.view->selection(), Section::insights);
        QCOMPARE(w.focus(), w.view->sidebar());
        QCOMPARE(moves.size(), 0);
    }

    // Closed with Escape or opened from the other place, the feedback form keeps its title,
    // message and images until they are sent.
    void theFeedbackFormKeepsItsContentsUntilSent() {
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        QTemporaryDir images;
        const QString image = images.filePath(u"shot.png"_s);
        QImage(4, 4, QImage::Format_RGB32).save(image);

        w.press(w.view->feedbackButton());
        auto* sheet = qobject_cast<FeedbackSheet*>(w.view->feedbackSheet());
        QVERIFY(sheet);
        QTRY_VERIFY(sheet->isVisible());
        QTest::keyClicks(sheet->findChild<QLineEdit*>(u"titleField"_s), u"Crash"_s);
        QTest::keyClicks(sheet->findChild<QPlainTextEdit*>(u"messageEditor"_s), u"It broke"_s);
        sheet->form()->pickImages({image});
        QTest::keyClick(sheet->findChild<QLineEdit*>(u"titleField"_s), Qt::Key_Escape);
        QVERIFY(!sheet->isVisible());
        QVERIFY(!w.view->showsFeedback());

        // From Settings: the same form, as it was left.
        w.view->selectSection(Section::settings);
        w.press(w.find("sendFeedbackRow"));
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->form()->title(), u"Crash"_s);
        QCOMPARE(sheet->form()->message(), u"It broke"_s);
        QCOMPARE(sheet->form()->selectedImages(), QStringList{image});
        QTRY_COMPARE(sheet->form()->attachments().size(), 1);

        sheet->form()->send();
        QTRY_VERIFY(!sheet->form()->isSending());
        QCOMPARE(sheet->form()->statusMessage(), u"Sent. Confirmation was emailed to you."_s);
        sheet->reject();
        w.press(w.view->feedbackButton());
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->form()->title(), QString());
        QCOMPARE(sheet->form()->message(), QString());
        QVERIFY(sheet->form()->selectedImages().isEmpty());
        sheet->reject();
    }
};

QTEST_MAIN(TestKeyboardFlow)
#include "tst_keyboardflow.moc"
