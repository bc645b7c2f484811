#include "ui/drafts/DraftsView.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/insights/Insight.h"
#include "ui/insights/InsightsView.h"
#include "ui/kit/ContentButton.h"
#include "ui/tests/AccessibilityEvents.h"
#include "ui/tests/AppFixture.h"
#include "ui/window/FeedbackButton.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PostToast.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using Section = MainSplitView::Section;

namespace {

// The window's root over the app's own container, recording the events it sends.
struct Window {
    AppFixture app;
    QList<AppTelemetryEvent> events;
    MainSplitView view{app.drafts(),
                       app.session(),
                       app.container.postFlow(),
                       app.container.connectFlow(),
                       app.container.accountFlow(),
                       app.container.feedbackFlow(),
                       [this](AppTelemetryEvent e) { events.append(e); }};

    void show() {
        view.resize(900, 650);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }

    // Saves `body` as a draft of the store's owner, then leaves a fresh editor.
    Draft saveDraft(const QString& body) {
        app.drafts().setEditorText(body);
        app.drafts().saveDraft();
        app.drafts().resetEditor();
        return app.drafts().drafts().first();
    }

    // A click on the sidebar row, the way a user chooses a section.
    void clickSidebar(Section section, Qt::KeyboardModifiers modifiers = {}) {
        QListWidget* list = view.sidebar();
        const QRect rect = list->visualItemRect(list->item(int(section)));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    // Opens the first listed draft with a click, from the drafts section.
    void openFirstDraft() {
        clickSidebar(Section::drafts);
        QTest::mouseClick(view.currentPane()->findChild<QAbstractButton*>(u"openDraftButton"_s),
                          Qt::LeftButton);
    }
};

} // namespace

class TestMainSplitView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsOnTheEditorWithoutResettingIt() {
        Window w;
        w.app.drafts().setEditorText(u"typed before the window"_s);
        w.show();
        QCOMPARE(w.view.selection(), Section::editor);
        QCOMPARE(w.view.sidebar()->currentRow(), 2);
        QVERIFY(w.view.sidebar()->item(2)->isSelected());
        QVERIFY(qobject_cast<EditorView*>(w.view.currentPane()));
        // Signed out and already owned by nobody: showing changed nothing.
        QCOMPARE(w.app.drafts().editorText(), u"typed before the window"_s);
    }

    void sidebarRowsInOrder() {
        Window w;
        QStringList titles;
        for (int row = 0; row < w.view.sidebar()->count(); ++row) {
            titles.append(w.view.sidebar()->item(row)->text());
            QVERIFY(!w.view.sidebar()->item(row)->icon().isNull());
        }
        QCOMPARE(titles, QStringList({u"Insights"_s, u"Drafts"_s, u"Editor"_s, u"Settings"_s}));
    }

    // Choosing Editor again starts a fresh post only when that loses nothing.
    void choosingEditorKeepsUnsavedText_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("kept");
        QTest::newRow("typed") << u"typed"_s << true;
        QTest::newRow("an opened draft, edited") << u"edited draft"_s << true;
        QTest::newRow("the initial text") << u"initial"_s << false;
        QTest::newRow("cleared with the clear button") << u"cleared"_s << false;
        QTest::newRow("saved") << u"saved"_s << false;
    }
    void choosingEditorKeepsUnsavedText() {
        QFETCH(QString, state);
        QFETCH(bool, kept);
        Window w;
        w.show();
        const Draft draft = w.saveDraft(u"stored body"_s);
        if (state == u"edited draft") {
            w.openFirstDraft();
        }
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        RichTextEditor* text = editor->editor();
        text->setFocus(Qt::OtherFocusReason);
        if (state == u"typed") {
            QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(text, u"half a thought"_s);
        } else if (state == u"edited draft") {
            QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(text, u", edited"_s);
        } else if (state == u"cleared") {
            QTest::keyClicks(text, u" and more"_s);
            QTest::mouseClick(editor->findChild<QAbstractButton*>(u"clearPostButton"_s),
                              Qt::LeftButton);
            QCOMPARE(w.app.drafts().editorText(), QString());
        } else if (state == u"saved") {
            QTest::keyClicks(text, u" and more"_s);
            QTest::keyClick(text, Qt::Key_S, Qt::ControlModifier);
            QCOMPARE(w.app.drafts().statusMessage(), std::optional<QString>(u"Draft saved"_s));
        }
        const QString before = w.app.drafts().editorText();
        const std::optional<QUuid> binding = w.app.drafts().editingDraftID();

        // Away twice, so an opened draft no longer counts as just opened.
        w.clickSidebar(Section::drafts);
        w.clickSidebar(Section::insights);
        w.clickSidebar(Section::editor);
        QCOMPARE(w.view.selection(), Section::editor);
        editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        const QString expected = kept ? before : DraftStore::initialEditorText();
        QCOMPARE(w.app.drafts().editorText(), expected);
        QCOMPARE(editor->editor()->toPlainText(), expected);
        QCOMPARE(w.app.drafts().editingDraftID(), kept ? binding : std::nullopt);
        if (state == u"edited draft") {
            QCOMPARE(binding, std::optional<QUuid>(draft.id));
            // Still the same draft: saving updates it.
            w.app.drafts().saveDraft();
            QCOMPARE(bodiesOf(w.app.repository().loadDrafts(std::nullopt)),
                     QStringList{u"stored body, edited"_s});
        }
    }

    void arrowingThroughTheSidebarKeepsTypedText() {
        Window w;
        w.show();
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        editor->editor()->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(editor->editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor->editor(), u"typed, then looked around"_s);
        w.view.sidebar()->setFocus(Qt::BacktabFocusReason);
        for (const Qt::Key key :
             {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
            QTest::keyClick(w.view.sidebar(), key);
        }
        QCOMPARE(w.view.selection(), Section::editor);
        editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        QCOMPARE(editor->editor()->toPlainText(), u"typed, then looked around"_s);
        QCOMPARE(w.app.drafts().editorText(), u"typed, then looked around"_s);
    }

    void anOpenedDraftSurvivesOneEditorChoice() {
        Window w;
        const Draft stored = w.saveDraft(u"opened body"_s);
        w.show();
        w.clickSidebar(Section::drafts);
        auto* drafts = qobject_cast<DraftsView*>(w.view.currentPane());
        QVERIFY(drafts);
        auto* open = drafts->findChild<QAbstractButton*>(u"openDraftButton"_s);
        QVERIFY(open);
        QTest::mouseClick(open, Qt::LeftButton);
        QCOMPARE(w.view.selection(), Section::editor);
        QVERIFY(w.view.opensDraftInEditor());
        QCOMPARE(w.app.drafts().editorText(), u"opened body"_s);
        QCOMPARE(w.app.drafts().editingDraftID(), std::optional<QUuid>(stored.id));

        // Back to the drafts with the editor's own button, then Editor in the sidebar: the
        // opened draft stays...
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        QTest::mouseClick(editor->findChild<QAbstractButton*>(u"backToDraftsButton"_s),
                          Qt::LeftButton);
        QCOMPARE(w.view.selection(), Section::drafts);
        QVERIFY(w.view.opensDraftInEditor());
        w.clickSidebar(Section::editor);
        QCOMPARE(w.view.selection(), Section::editor);
        QCOMPARE(w.app.drafts().editorText(), u"opened body"_s);
        QVERIFY(!w.view.opensDraftInEditor());
        // ...but only once.
        w.clickSidebar(Section::insights);
        w.clickSidebar(Section::editor);
        QCOMPARE(w.app.drafts().editorText(), u"Write a LinkedIn post..."_s);
        QCOMPARE(w.app.drafts().editingDraftID(), std::nullopt);
    }

    void aRequestToDeselectIsIgnored() {
        Window w;
        w.show();
        w.clickSidebar(Section::drafts);
        QWidget* pane = w.view.currentPane();
        QSignalSpy changes(&w.view, &MainSplitView::selectionChanged);
        // Control-click on the selected row is how the list asks to deselect.
        w.clickSidebar(Section::drafts, Qt::ControlModifier);
        QCOMPARE(w.view.selection(), Section::drafts);
        QCOMPARE(w.view.currentPane(), pane);
        QVERIFY(w.view.sidebar()->item(int(Section::drafts))->isSelected());
        w.view.selectSection(std::nullopt);
        QCOMPARE(w.view.selection(), Section::drafts);
        QCOMPARE(changes.count(), 0);
    }

    void theOwnerFollowsTheConnectedMember() {
        Window w;
        w.app.storeDraft(u"m1"_s, u"draft of m1"_s);
        w.app.storeDraft(u"m2"_s, u"draft of m2"_s);
        w.app.storeDraft(std::nullopt, u"signed-out draft"_s);
        w.app.session().save(tokenFor(u"m1"_s));
        // Nothing happens before the window is shown.
        QCOMPARE(w.app.drafts().ownerID(), std::nullopt);

        w.show();
        QCOMPARE(w.app.drafts().ownerID(), std::optional<QString>(u"m1"_s));
        QCOMPARE(bodiesOf(w.app.drafts().drafts()), QStringList{u"draft of m1"_s});

        // A new token for the same member is no change of member: the opened draft stays
        // bound.
        w.app.drafts().openDraft(w.app.drafts().drafts().first());
        const std::optional<QUuid> opened = w.app.drafts().editingDraftID();
        w.app.session().save(tokenFor(u"m1"_s, u"Renamed"_s));
        QCOMPARE(w.app.drafts().editorText(), u"draft of m1"_s);
        QCOMPARE(w.app.drafts().editingDraftID(), opened);

        // With nothing unsaved, another member's list comes with a fresh post.
        w.app.session().save(tokenFor(u"m2"_s));
        QCOMPARE(w.app.drafts().ownerID(), std::optional<QString>(u"m2"_s));
        QCOMPARE(bodiesOf(w.app.drafts().drafts()), QStringList{u"draft of m2"_s});
        QCOMPARE(w.app.drafts().editorText(), u"Write a LinkedIn post..."_s);
        QCOMPARE(w.app.drafts().editingDraftID(), std::nullopt);

        w.app.session().signOut();
        QCOMPARE(w.app.drafts().ownerID(), std::nullopt);
        QCOMPARE(bodiesOf(w.app.drafts().drafts()), QStringList{u"signed-out draft"_s});
        QCOMPARE(w.app.drafts().editorText(), u"Write a LinkedIn post..."_s);
    }

    // A sign-in, a log-out or another member changes the drafts list, never the typed text.
    void anOwnerChangeKeepsTypedText_data() {
        QTest::addColumn<std::optional<QString>>("from");
        QTest::addColumn<std::optional<QString>>("to");
        QTest::addColumn<bool>("openedDraft");
        const std::optional<QString> none;
        const std::optional<QString> m1(u"m1"_s);
        const std::optional<QString> m2(u"m2"_s);
        QTest::newRow("sign-in, a new post") << none << m1 << false;
        QTest::newRow("sign-in, an edited signed-out draft") << none << m1 << true;
        QTest::newRow("log-out, a new post") << m1 << none << false;
        QTest::newRow("log-out, an edited draft of the member") << m1 << none << true;
        QTest::newRow("another member") << m1 << m2 << true;
    }
    void anOwnerChangeKeepsTypedText() {
        QFETCH(std::optional<QString>, from);
        QFETCH(std::optional<QString>, to);
        QFETCH(bool, openedDraft);
        Window w;
        const auto owned = [](const std::optional<QString>& owner) {
            return u"draft of "_s + owner.value_or(u"nobody"_s);
        };
        w.app.storeDraft(to, owned(to));
        if (from) {
            w.app.session().save(tokenFor(*from));
        }
        w.show();
        w.saveDraft(owned(from));
        if (openedDraft) {
            w.openFirstDraft();
        }
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        editor->editor()->setFocus(Qt::OtherFocusReason);
        // Over the fresh post's text, or after the draft's.
        QTest::keyClick(editor->editor(), openedDraft ? Qt::Key_End : Qt::Key_A,
                        Qt::ControlModifier);
        QTest::keyClicks(editor->editor(), u"typed"_s);
        const QString typed = w.app.drafts().editorText();
        QCOMPARE(typed, openedDraft ? owned(from) + u"typed"_s : u"typed"_s);

        if (to) {
            w.app.session().save(tokenFor(*to));
        } else {
            w.app.session().signOut();
        }
        QCOMPARE(w.app.drafts().ownerID(), to);
        QCOMPARE(bodiesOf(w.app.drafts().drafts()), QStringList{owned(to)});
        QCOMPARE(w.app.drafts().editorText(), typed);
        QCOMPARE(editor->editor()->toPlainText(), typed);
        // Now a new post of the new owner: the old owner's draft is left as it was.
        QCOMPARE(w.app.drafts().editingDraftID(), std::nullopt);
        w.app.drafts().saveDraft();
        QCOMPARE(bodiesOf(w.app.repository().loadDrafts(to)), QStringList({typed, owned(to)}));
        QCOMPARE(bodiesOf(w.app.repository().loadDrafts(from)), QStringList{owned(from)});
    }

    // Closing the window keeps unsaved text; the next start's window shows it again.
    void unsavedTextComesBackAfterTheWindowCloses_data() {
        QTest::addColumn<bool>("openedDraft");
        QTest::newRow("a new post") << false;
        QTest::newRow("an edited draft, bound again") << true;
    }
    void unsavedTextComesBackAfterTheWindowCloses() {
        QFETCH(bool, openedDraft);
        AppFixture app;
        // The store as the next start finds it, through a connection of its own.
        const auto keptOnDisk = [&] {
            return UserDefaultsDraftRepository(
                       u"drafts"_s, std::make_shared<SqliteUserDefaults>(app.defaults->path()))
                .loadUnsavedText();
        };
        std::optional<QUuid> draftID;
        {
            MainWindow window(app.container);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            auto* root = qobject_cast<MainSplitView*>(window.centralWidget());
            QVERIFY(root);
            if (openedDraft) {
                app.drafts().setEditorText(u"the draft"_s);
                app.drafts().saveDraft();
                draftID = app.drafts().editingDraftID();
            }
            auto* editor = qobject_cast<EditorView*>(root->currentPane());
            QVERIFY(editor);
            editor->editor()->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(editor->editor(), Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(editor->editor(), u" and what came after"_s);
            // Too soon for the pause: the close is what keeps it.
            QCOMPARE(keptOnDisk(), std::nullopt);
            QVERIFY(window.close());
        }
        const QString typed = (openedDraft ? u"the draft"_s : DraftStore::initialEditorText()) +
                              u" and what came after"_s;
        QCOMPARE(keptOnDisk(), std::optional<UnsavedText>({typed, std::nullopt, draftID}));

        AppContainer next(
            configurationFor(QUrl(u"http://127.0.0.1:9/"_s)),
            PlatformServices{std::make_shared<SqliteUserDefaults>(app.defaults->path()),
                             AppFixture::emptiedKeychain(),
                             {}});
        QCOMPARE(next.draftStore().editorText(), DraftStore::initialEditorText());
        MainWindow window(next);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* editor = qobject_cast<EditorView*>(
            qobject_cast<MainSplitView*>(window.centralWidget())->currentPane());
        QCOMPARE(editor->editor()->toPlainText(), typed);
        QCOMPARE(next.draftStore().editingDraftID(), draftID);
    }

    void aMemberChangeToTheStoresOwnerReloadsNothing() {
        Window w;
        w.show();
        // The store already belongs to m1 although the session had nobody.
        w.app.drafts().setOwner(u"m1"_s);
        w.app.drafts().setEditorText(u"kept"_s);
        w.app.storeDraft(u"m1"_s, u"written behind the store's back"_s);
        w.app.session().save(tokenFor(u"m1"_s));
        QCOMPARE(w.app.drafts().editorText(), u"kept"_s);
        QVERIFY(w.app.drafts().drafts().isEmpty());
    }

    void postSuccessShowsInsightsAndTheToast() {
        Window w;
        w.show();
        QSignalSpy toast(&w.view, &MainSplitView::showsPostToastChanged);
        w.view.postSucceeded();
        QCOMPARE(w.view.selection(), Section::insights);
        QVERIFY(qobject_cast<InsightsView*>(w.view.currentPane()));
        QCOMPARE(w.view.sidebar()->currentRow(), int(Section::insights));
        QVERIFY(w.view.showsPostToast());
        QVERIFY(w.view.postToast()->isVisible());
        QCOMPARE(w.view.postToast()->text(), u"Posted to LinkedIn"_s);
        QCOMPARE(toast.count(), 1);
        // Centred at the top.
        const QRect toastRect = w.view.postToast()->geometry();
        QVERIFY(qAbs(toastRect.center().x() - w.view.width() / 2) <= 1);
    }

    // The window leaves the editor after a post, so what the member must know of the connection
    // is said in the toast, wrapped within the window and up for longer.
    void aToastThatSaysMoreFitsAndStaysLonger() {
        Window w;
        w.view.resize(420, 600);
        w.show();
        constexpr auto duration = std::chrono::milliseconds(200);
        w.view.setPostToastDuration(duration);
        const QString detail =
            u"Connected, but the keyring does not answer: you may have to connect again at the "
            "next start."_s;
        w.view.postSucceeded(detail);
        PostToast* toast = w.view.postToast();
        QCOMPARE(toast->detail(), detail);
        QCOMPARE(toast->accessibleName(), u"Posted to LinkedIn. "_s + detail);
        const QRect toastRect = toast->geometry();
        QVERIFY(qAbs(toastRect.center().x() - w.view.width() / 2) <= 1);
        QVERIFY2(toastRect.left() > 0 && toastRect.right() < w.view.width(),
                 qPrintable(QString::number(toastRect.width())));
        // Two lines at least: the detail does not fit beside the title in this window.
        QVERIFY(toastRect.height() >= 3 * toast->fontMetrics().height());

        QSignalSpy hidden(&w.view, &MainSplitView::showsPostToastChanged);
        QVERIFY(!hidden.wait(int(duration.count()) * 2));
        QVERIFY(w.view.showsPostToast());
        QVERIFY(hidden.wait(int(duration.count()) * MainSplitView::detailedToastFactor));
        QVERIFY(!w.view.showsPostToast());

        // The next plain success says only the title again.
        w.view.postSucceeded();
        QCOMPARE(toast->detail(), QString());
        QCOMPARE(toast->accessibleName(), u"Posted to LinkedIn"_s);
    }

    void twoSuccessesHideTheToastAfterTheFirstOnesDelay() {
        Window w;
        w.show();
        constexpr auto duration = std::chrono::milliseconds(400);
        w.view.setPostToastDuration(duration);

        w.view.postSucceeded();
        QTimer halfway;
        halfway.setSingleShot(true);
        QSignalSpy halfwayPassed(&halfway, &QTimer::timeout);
        halfway.start(duration / 2);
        QVERIFY(halfwayPassed.wait());

        // A mark the second success's own hiding would come after, the first one's before.
        QSignalSpy toast(&w.view, &MainSplitView::showsPostToastChanged);
        QTimer mark;
        mark.setSingleShot(true);
        QSignalSpy markPassed(&mark, &QTimer::timeout);
        mark.start(duration - std::chrono::milliseconds(100));
        w.view.postSucceeded();
        // Started after the second success's delay, so it runs out after it.
        QTimer secondDelay;
        secondDelay.setSingleShot(true);
        QSignalSpy secondDelayPassed(&secondDelay, &QTimer::timeout);
        secondDelay.start(duration);

        int marksWhenHidden = -1;
        connect(&w.view, &MainSplitView::showsPostToastChanged, this, [&](bool shown) {
            if (!shown) {
                marksWhenHidden = int(markPassed.count());
            }
        });
        QTRY_VERIFY(!w.view.showsPostToast());
        QCOMPARE(marksWhenHidden, 0);
        // The leaving animation ends with the toast gone.
        QTRY_VERIFY(!w.view.postToast()->isVisible());
        // The second success's delay runs out later and changes nothing.
        QVERIFY(!secondDelayPassed.isEmpty() || secondDelayPassed.wait());
        QCOMPARE(toast.count(), 1);
        QVERIFY(!w.view.postToast()->isVisible());
    }

    void aDraggedButtonStaysInsideAShrinkingWindow_data() {
        QTest::addColumn<QPointF>("translation");
        QTest::addColumn<QSize>("smaller");
        QTest::addColumn<QPointF>("center");
        // From the default place (44, 533) at 900 x 650.
        QTest::newRow("bottom right corner")
            << QPointF(900, 200) << QSize(600, 400) << QPointF(566, 366);
        QTest::newRow("right edge, only narrower")
            << QPointF(900, -200) << QSize(500, 650) << QPointF(466, 333);
        QTest::newRow("well inside stays")
            << QPointF(100, -300) << QSize(600, 400) << QPointF(144, 233);
    }
    void aDraggedButtonStaysInsideAShrinkingWindow() {
        QFETCH(QPointF, translation);
        QFETCH(QSize, smaller);
        QFETCH(QPointF, center);
        Window w;
        w.show();
        w.view.dragFeedbackButton(translation, QSizeF(w.view.size()));
        w.view.endFeedbackButtonDrag();
        w.view.resize(smaller);
        QCOMPARE(w.view.feedbackButtonPosition(), std::optional<QPointF>(center));
        QCOMPARE(w.view.feedbackButton()->center(), center);
        QVERIFY(w.view.rect().contains(w.view.feedbackButton()->geometry()));
    }

    void sectionsSwitchLikeAScreenReaderAsks_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<Section>("section");
        QTest::newRow("toggle Drafts") << u"toggle"_s << Section::drafts;
        QTest::newRow("toggle Insights") << u"toggle"_s << Section::insights;
        QTest::newRow("toggle Settings") << u"toggle"_s << Section::settings;
        QTest::newRow("select row Drafts") << u"selectRow"_s << Section::drafts;
        QTest::newRow("select row Settings") << u"selectRow"_s << Section::settings;
    }
    void sectionsSwitchLikeAScreenReaderAsks() {
        QFETCH(QString, how);
        QFETCH(Section, section);
        Window w;
        w.show();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.view.sidebar());
        QVERIFY(list);
        QCOMPARE(list->text(QAccessible::Name), u"Sections"_s);
        const int row = int(section);
        // The caret in the post, as after typing it.
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        editor->editor()->setFocus(Qt::OtherFocusReason);
        if (how == u"toggle") {
            QAccessibleInterface* item = nullptr;
            for (int i = 0; i < list->childCount() && !item; ++i) {
                QAccessibleInterface* child = list->child(i);
                if (child &&
                    child->text(QAccessible::Name) == w.view.sidebar()->item(row)->text()) {
                    item = child;
                }
            }
            QVERIFY(item);
            QVERIFY(item->actionInterface());
            item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        } else {
            QVERIFY(list->tableInterface());
            QVERIFY(list->tableInterface()->selectRow(row));
        }
        QCOMPARE(w.view.selection(), section);
        QCOMPARE(w.view.sidebar()->selectedItems(),
                 QList<QListWidgetItem*>{w.view.sidebar()->item(row)});
        // The focus left with the old pane stays where the choice was made, not on the
        // floating button that follows the pane in the tab chain.
        QCOMPARE(QApplication::focusWidget(), w.view.sidebar());
    }

    // What a screen reader hears first: the window's name, the current section when the
    // sidebar gets the focus, the Settings pane's page, each story by its person.
    void theWindowAndItsPanesAreNamed() {
        AppFixture app;
        MainWindow window(app.container);
        QCOMPARE(QAccessible::queryAccessibleInterface(&window)->text(QAccessible::Name),
                 u"Quillon"_s);

        Window w;
        w.show();
        w.view.selectSection(Section::settings);
        auto* stack = w.view.currentPane()->findChild<QStackedWidget*>();
        QVERIFY(stack);
        QAccessibleInterface* pane = QAccessible::queryAccessibleInterface(stack);
        QCOMPARE(pane->role(), QAccessible::LayeredPane);
        QCOMPARE(pane->text(QAccessible::Name), u"Settings"_s);

        w.view.selectSection(Section::insights);
        const QList<ContentButton*> cards =
            w.view.currentPane()->findChildren<ContentButton*>(u"insightCard"_s);
        QCOMPARE(cards.size(), insightsCatalog().size());
        QAccessibleInterface* first = QAccessible::queryAccessibleInterface(cards.first());
        QCOMPARE(first->text(QAccessible::Name), u"Maren Holt, Northline Coaching"_s);
        QCOMPARE(first->text(QAccessible::Description),
                 u"$2M revenue. Daily LinkedIn posts helped build $2M revenue and a coaching "
                 "business."_s);
        for (ContentButton* card : cards) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(card);
            for (const QAccessible::Text text : {QAccessible::Name, QAccessible::Description}) {
                QVERIFY2(!accessible->text(text).contains(u"linkedin.com"_s),
                         qPrintable(accessible->text(text)));
            }
        }
    }

    void theSidebarSaysTheCurrentSectionOnFocus_data() {
        QTest::addColumn<Section>("section");
        QTest::newRow("Editor") << Section::editor;
        QTest::newRow("Drafts") << Section::drafts;
        QTest::newRow("Settings") << Section::settings;
    }
    void theSidebarSaysTheCurrentSectionOnFocus() {
        QFETCH(Section, section);
        Window w;
        w.show();
        QApplication::setActiveWindow(&w.view);
        QVERIFY(QTest::qWaitForWindowActive(&w.view));
        w.view.selectSection(section);
        // Coming from the pane, as with Shift+Tab.
        w.view.feedbackButton()->setFocus(Qt::TabFocusReason);
        AccessibilityEvents events;
        w.view.sidebar()->setFocus(Qt::BacktabFocusReason);
        const QString title = w.view.sidebar()->item(int(section))->text();
        // The list's own focus event comes first; the row's follows it and is the last word.
        QTRY_VERIFY(events.lastFocus() && events.lastFocus()->object() != w.view.sidebar());
        QAccessibleInterface* focused = events.lastFocus();
        QCOMPARE(focused->text(QAccessible::Name), title);
        QVERIFY(focused->state().selected);
        QVERIFY(focused->state().focused);
        QCOMPARE(focused->parent()->object(), w.view.sidebar());
    }

    void arrowKeysInTheSidebarSwitchSections() {
        Window w;
        w.show();
        w.view.sidebar()->setFocus();
        QTest::keyClick(w.view.sidebar(), Qt::Key_Up);
        QCOMPARE(w.view.selection(), Section::drafts);
        QVERIFY(qobject_cast<DraftsView*>(w.view.currentPane()));
        QTest::keyClick(w.view.sidebar(), Qt::Key_Up);
        QCOMPARE(w.view.selection(), Section::insights);
        QTest::keyClick(w.view.sidebar(), Qt::Key_End);
        QCOMPARE(w.view.selection(), Section::settings);
        QCOMPARE(QApplication::focusWidget(), w.view.sidebar());
    }

    void theFeedbackButtonIsTheLastTabStop() {
        Window w;
        w.show();
        w.clickSidebar(Section::drafts);
        w.clickSidebar(Section::editor);
        auto* post = w.view.currentPane()->findChild<QWidget*>(u"postButton"_s);
        post->setFocus(Qt::TabFocusReason);
        QTest::keyClick(post, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.view.feedbackButton());
        // From the sidebar, Tab goes into the pane.
        w.view.sidebar()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w.view.sidebar(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"backToDraftsButton"_s);
    }

    void theFeedbackButtonStaysTheLastTabStopOnAPushedPage() {
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        w.show();
        w.clickSidebar(Section::settings);
        auto* account = w.view.currentPane()->findChild<QPushButton*>(u"accountButton"_s);
        QVERIFY(account);
        account->setFocus(Qt::TabFocusReason);
        QTest::keyClick(account, Qt::Key_Return);
        auto* remove = w.view.currentPane()->findChild<QWidget*>(u"deleteAccountButton"_s);
        QVERIFY(remove && remove->isVisible());
        remove->setFocus(Qt::TabFocusReason);
        QTest::keyClick(remove, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.view.feedbackButton());
        QTest::keyClick(w.view.feedbackButton(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.view.sidebar());
        // From the sidebar into the page: its back control leads.
        QTest::keyClick(w.view.sidebar(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"backButton"_s);
        // Back at the root, the button still follows the pane's last control.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        auto* feedbackRow = w.view.currentPane()->findChild<QWidget*>(u"sendFeedbackRow"_s);
        QVERIFY(feedbackRow && feedbackRow->isVisible());
        feedbackRow->setFocus(Qt::TabFocusReason);
        QTest::keyClick(feedbackRow, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.view.feedbackButton());
    }

    void anOpenedDraftGetsTheCaret() {
        Window w;
        w.saveDraft(u"opened body"_s);
        w.show();
        w.clickSidebar(Section::drafts);
        auto* open = w.view.currentPane()->findChild<QAbstractButton*>(u"openDraftButton"_s);
        QVERIFY(open);
        open->setFocus(Qt::TabFocusReason);
        QTest::keyClick(open, Qt::Key_Return);
        auto* editor = qobject_cast<EditorView*>(w.view.currentPane());
        QVERIFY(editor);
        QCOMPARE(w.app.drafts().editorText(), u"opened body"_s);
        QCOMPARE(QApplication::focusWidget(), editor->editor());
    }

    void sidebarSymbolsFollowTheDevicePixelRatio_data() {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("1") << 1.0 << QSize(18, 18);
        QTest::newRow("1.5") << 1.5 << QSize(27, 27);
        QTest::newRow("2") << 2.0 << QSize(36, 36);
    }
    void sidebarSymbolsFollowTheDevicePixelRatio() {
        QFETCH(qreal, ratio);
        QFETCH(QSize, pixels);
        Window w;
        for (int row = 0; row < w.view.sidebar()->count(); ++row) {
            const QPixmap pixmap =
                w.view.sidebar()->item(row)->icon().pixmap(w.view.sidebar()->iconSize(), ratio);
            QCOMPARE(pixmap.size(), pixels);
            QCOMPARE(pixmap.devicePixelRatio(), ratio);
            QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(18, 18));
        }
    }

    // The Settings screens' symbols too are drawn afresh for the ratio asked, as on a screen of
    // another density, not scaled from a picture made for the ratio at their creation.
    void settingsSymbolsFollowTheDevicePixelRatio_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("account at 1") << u"accountButton"_s << 1.0 << QSize(24, 24);
        QTest::newRow("account at 3") << u"accountButton"_s << 3.0 << QSize(72, 72);
        QTest::newRow("community at 3") << u"communityRow"_s << 3.0 << QSize(54, 54);
        QTest::newRow("send feedback at 1.5") << u"sendFeedbackRow"_s << 1.5 << QSize(27, 27);
        QTest::newRow("back at 3") << u"backButton"_s << 3.0 << QSize(51, 51);
    }
    void settingsSymbolsFollowTheDevicePixelRatio() {
        QFETCH(QString, control);
        QFETCH(qreal, ratio);
        QFETCH(QSize, pixels);
        Window w;
        w.app.session().save(tokenFor(u"m1"_s));
        w.show();
        w.clickSidebar(Section::settings);
        if (control == u"backButton") {
            // The back control belongs to the pushed account page.
            w.view.currentPane()->findChild<QPushButton*>(u"accountButton"_s)->click();
        }
        auto* button = w.view.currentPane()->findChild<QAbstractButton*>(control);
        QVERIFY(button && button->isVisible());
        const QPixmap pixmap = button->icon().pixmap(button->iconSize(), ratio);
        QCOMPARE(pixmap.size(), pixels);
        QCOMPARE(pixmap.devicePixelRatio(), ratio);
    }

    void defaultFeedbackButtonPlace_data() {
        QTest::addColumn<QSizeF>("content");
        QTest::addColumn<QPointF>("center");
        QTest::newRow("low area: y floor of 92") << QSizeF(400, 100) << QPointF(44, 92);
        QTest::newRow("tall area: 0.82 of the height") << QSizeF(400, 1000) << QPointF(44, 820);
        QTest::newRow("window default") << QSizeF(900, 650) << QPointF(44, 533);
    }
    void defaultFeedbackButtonPlace() {
        QFETCH(QSizeF, content);
        QFETCH(QPointF, center);
        QCOMPARE(MainSplitView::defaultFeedbackButtonCenter(content), center);
    }

    void draggingClampsToTheContentArea_data() {
        QTest::addColumn<QSizeF>("content");
        QTest::addColumn<QPointF>("translation");
        QTest::addColumn<QPointF>("center");
        // From the default place (44, 0.82 H) of each area.
        QTest::newRow("inside") << QSizeF(900, 650) << QPointF(100, -200) << QPointF(144, 333);
        QTest::newRow("past the left and top")
            << QSizeF(900, 650) << QPointF(-100, -1000) << QPointF(34, 34);
        QTest::newRow("past the right and bottom")
            << QSizeF(900, 650) << QPointF(2000, 500) << QPointF(866, 616);
        QTest::newRow("area below twice the inset")
            << QSizeF(60, 50) << QPointF(0, 0) << QPointF(26, 16);
    }
    void draggingClampsToTheContentArea() {
        QFETCH(QSizeF, content);
        QFETCH(QPointF, translation);
        QFETCH(QPointF, center);
        Window w;
        w.view.dragFeedbackButton(translation, content);
        QCOMPARE(w.view.feedbackButtonPosition(), std::optional<QPointF>(center));
    }

    void aDragStartsFromWhereThePreviousOneEnded() {
        Window w;
        const QSizeF area(900, 650);
        w.view.dragFeedbackButton(QPointF(10, 0), area);
        w.view.dragFeedbackButton(QPointF(30, -40), area);
        QCOMPARE(w.view.feedbackButtonPosition(), std::optional<QPointF>(QPointF(74, 493)));
        w.view.endFeedbackButtonDrag();
        w.view.dragFeedbackButton(QPointF(6, 7), area);
        QCOMPARE(w.view.feedbackButtonPosition(), std::optional<QPointF>(QPointF(80, 500)));
    }

    void theButtonSitsAtItsDefaultPlace() {
        Window w;
        w.show();
        FeedbackButton* button = w.view.feedbackButton();
        QCOMPARE(button->center(), QPointF(44, 533));
        QCOMPARE(button->accessibleName(), u"Send feedback"_s);
        // It follows the area until it is dragged.
        w.view.resize(900, 1000);
        QCOMPARE(button->center(), QPointF(44, 820));
    }

    void aShortPressIsATapAndALongMoveADrag() {
        Window w;
        w.show();
        FeedbackButton* button = w.view.feedbackButton();
        const QPoint middle(button->width() / 2, button->height() / 2);

        // Moving 6 points is below the threshold: a tap, the button stays put.
        QTest::mousePress(button, Qt::LeftButton, {}, middle);
        QTest::mouseMove(button, middle + QPoint(6, 0));
        QTest::mouseRelease(button, Qt::LeftButton, {}, middle + QPoint(6, 0));
        QCOMPARE(w.view.feedbackButtonPosition(), std::nullopt);
        QVERIFY(w.view.showsFeedback());
        QTRY_VERIFY(w.view.feedbackSheet() && w.view.feedbackSheet()->isVisible());
        QCOMPARE(w.events, QList<AppTelemetryEvent>{AppTelemetryEvent::feedbackOpened});

        auto* close = w.view.feedbackSheet()->findChild<QPushButton*>(u"closeButton"_s);
        QVERIFY(close);
        QCOMPARE(close->text(), u"Close"_s);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!w.view.showsFeedback());

        // Moving 40 by 30 is a drag: no sheet, the button follows the pointer. Positions are
        // mapped at each event because the button moves under the pointer.
        const auto at = [&](QPoint inView) { return button->mapFrom(&w.view, inView); };
        QTest::mousePress(button, Qt::LeftButton, {}, at(QPoint(44, 533)));
        QTest::mouseMove(button, at(QPoint(64, 518)));
        QCOMPARE(button->center(), QPointF(64, 518));
        QTest::mouseMove(button, at(QPoint(84, 503)));
        const QPoint target = at(QPoint(84, 503));
        QTest::mouseRelease(button, Qt::LeftButton, {}, target);
        QCOMPARE(w.view.feedbackButtonPosition(), std::optional<QPointF>(QPointF(84, 503)));
        QCOMPARE(button->center(), QPointF(84, 503));
        QVERIFY(!w.view.showsFeedback());
        QCOMPARE(w.events.size(), 1);

        // The place survives pane changes and the sheet.
        w.clickSidebar(Section::insights);
        w.view.openFeedback();
        QCOMPARE(button->center(), QPointF(84, 503));
    }
};

QTEST_MAIN(TestMainSplitView)
#include "tst_mainsplitview.moc"
