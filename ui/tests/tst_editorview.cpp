#include "ui/editor/EditorView.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/tests/AppFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

using namespace quillon;
using namespace quillon::testing;

namespace {

// The editor pane over the app's own stores, recording its events and the window calls.
struct Pane {
    explicit Pane(const QUrl& backend = QUrl(u"http://127.0.0.1:9/"_qs))
        : app(backend) {}

    AppFixture app;
    QList<AppTelemetryEvent> events;
    int showDrafts = 0;
    int succeeded = 0;
    std::unique_ptr<EditorView> view = make();

    std::unique_ptr<EditorView> make() {
        auto result = std::make_unique<EditorView>(
            app.drafts(), app.session(), app.container.authService(), app.container.postService(),
            [this] { ++showDrafts; }, [this] { ++succeeded; },
            [this](AppTelemetryEvent e) { events.append(e); });
        result->resize(700, 900);
        return result;
    }
    template <typename T = QWidget> T* child(const QString& name) const {
        return view->findChild<T*>(name);
    }
    QString profileText() const {
        QStringList texts;
        for (QLabel* label : view->findChild<QWidget*>(u"preview"_qs)->findChildren<QLabel*>()) {
            if (label->objectName() != u"previewText" && label->isVisibleTo(view.get())) {
                texts.append(label->text());
            }
        }
        return texts.join(u" | "_qs);
    }
};

} // namespace

class TestEditorView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thePreviewShowsTheTextAsTyped_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasText");
        QTest::addColumn<QString>("preview");
        QTest::newRow("empty") << QString() << false << u"Preview appears here."_qs;
        QTest::newRow("spaces and line breaks only")
            << u"  \n\t \n"_qs << false << u"Preview appears here."_qs;
        QTest::newRow("text with surrounding spaces")
            << u"  Hello\nworld  "_qs << true << u"  Hello\nworld  "_qs;
    }
    void thePreviewShowsTheTextAsTyped() {
        QFETCH(QString, text);
        QFETCH(bool, hasText);
        QFETCH(QString, preview);
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(text);
        QCOMPARE(p.view->hasPostText(), hasText);
        QCOMPARE(p.child<QLabel>(u"previewText"_qs)->text(), preview);
        auto* clear = p.child<QToolButton>(u"clearPostButton"_qs);
        QCOMPARE(clear->accessibleName(), u"Clear post text"_qs);
        QCOMPARE(clear->isEnabled(), hasText);
        QCOMPARE(clear->isVisible(), hasText);
    }

    void theProfileLineFollowsTheToken_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("localizedHeadline");
        QTest::addColumn<QString>("line");
        QTest::newRow("no token") << false << QString() << QString()
                                  << u"Connect LinkedIn to preview your profile."_qs;
        QTest::newRow("no headline") << true << QString() << QString() << u"Ada Demo | Now"_qs;
        QTest::newRow("blank headline") << true << u"  "_qs << QString() << u"Ada Demo | Now"_qs;
        QTest::newRow("headline") << true << u" Founder "_qs << QString()
                                  << u"Ada Demo | Founder"_qs;
        QTest::newRow("localized headline first")
            << true << u"Founder"_qs << u"Gr\u00FCnderin"_qs << u"Ada Demo | Gr\u00FCnderin"_qs;
    }
    void theProfileLineFollowsTheToken() {
        QFETCH(bool, connected);
        QFETCH(QString, headline);
        QFETCH(QString, localizedHeadline);
        QFETCH(QString, line);
        Pane p;
        p.view->show();
        if (connected) {
            LinkedInToken token = tokenFor(u"m1"_qs, u"Ada Demo"_qs);
            if (!headline.isNull()) {
                token.profile.headline = headline;
            }
            if (!localizedHeadline.isNull()) {
                token.profile.localizedHeadline = localizedHeadline;
            }
            token.profile.pictureURL = u"not a picture address"_qs;
            p.app.session().save(token);
        }
        QCOMPARE(p.profileText(), line);
        auto* photo = p.child<LinkedInProfilePhoto>(u"previewPhoto"_qs);
        QCOMPARE(photo != nullptr, connected);
        if (photo) {
            QCOMPARE(photo->diameter(), 48.0);
            QCOMPARE(photo->pictureURL(), std::optional<QString>(u"not a picture address"_qs));
        }
    }

    void signingOutPutsTheInvitationBack() {
        Pane p;
        p.view->show();
        p.app.session().save(tokenFor(u"m1"_qs));
        QCOMPARE(p.profileText(), u"Ada Demo | Now"_qs);
        p.app.session().signOut();
        QCOMPARE(p.profileText(), u"Connect LinkedIn to preview your profile."_qs);
    }

    void clearingStoresTheOpenedDraftFirst() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"first version"_qs);
        p.app.drafts().saveDraft();
        p.app.drafts().setEditorText(u"second version"_qs);
        QTest::mouseClick(p.child<QToolButton>(u"clearPostButton"_qs), Qt::LeftButton);
        QCOMPARE(p.app.drafts().editorText(), QString());
        QCOMPARE(bodies(p.app.drafts().drafts()), QStringList{u"second version"_qs});
        QCOMPARE(p.app.drafts().statusMessage(), std::nullopt);
        QVERIFY(!p.child<QToolButton>(u"clearPostButton"_qs)->isVisible());
    }

    void saveDraftSavesTheText() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u" a thought \n"_qs);
        QTest::mouseClick(p.child<QPushButton>(u"saveDraftButton"_qs), Qt::LeftButton);
        QCOMPARE(bodies(p.app.drafts().drafts()), QStringList{u"a thought"_qs});
        QCOMPARE(bodies(p.app.repository().loadDrafts(std::nullopt)), QStringList{u"a thought"_qs});
        QCOMPARE(p.app.drafts().statusMessage(), std::optional<QString>(u"Draft saved"_qs));
        // Saving through the store's own sink, not the pane's: the pane sent nothing.
        QVERIFY(p.events.isEmpty());
    }

    void theToolbarInOrder() {
        Pane p;
        const QStringList names{
            u"formatBold"_qs, u"formatItalic"_qs, u"formatStrikethrough"_qs, u"formatUnderline"_qs,
            u"formatCode"_qs, u"formatClear"_qs,  u"formatBullets"_qs,       u"formatNumbered"_qs};
        QStringList titles;
        int previousX = -1;
        for (const QString& name : names) {
            auto* button = p.child<QToolButton>(name);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->size(), QSize(44, 44));
            titles.append(button->text());
            // Left to right in this order.
            p.view->show();
            const int x = button->mapTo(p.view.get(), QPoint()).x();
            QVERIFY(x > previousX);
            previousX = x;
        }
        QCOMPARE(titles, QStringList({u"B"_qs, u"I"_qs, u"S"_qs, u"U"_qs, u"<>"_qs, u"T/"_qs,
                                      QString(), QString()}));
        QVERIFY(p.child<QToolButton>(u"formatBold"_qs)->font().bold());
        QVERIFY(p.child<QToolButton>(u"formatItalic"_qs)->font().italic());
        QVERIFY(p.child<QToolButton>(u"formatStrikethrough"_qs)->font().strikeOut());
        QVERIFY(p.child<QToolButton>(u"formatUnderline"_qs)->font().underline());
    }

    void aToolbarCommandFormatsTheSelection() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"hi there"_qs);
        RichTextEditor* editor = p.view->editor();
        QTextCursor cursor(editor->document());
        cursor.setPosition(0);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        QTest::mouseClick(p.child<QToolButton>(u"formatBold"_qs), Qt::LeftButton);
        QCOMPARE(editor->text(), u"\U0001D5F5\U0001D5F6 there"_qs);
        // The store and the preview follow on the editor's next turn.
        QTRY_COMPARE(p.app.drafts().editorText(), u"\U0001D5F5\U0001D5F6 there"_qs);
        QCOMPARE(p.child<QLabel>(u"previewText"_qs)->text(), u"\U0001D5F5\U0001D5F6 there"_qs);
        QCOMPARE(p.view->formatCommand(), std::nullopt);
    }

    void boldWithoutASelectionChangesNothing() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"hi there"_qs);
        QTextCursor cursor(p.view->editor()->document());
        cursor.setPosition(3);
        p.view->editor()->setTextCursor(cursor);
        QTest::mouseClick(p.child<QToolButton>(u"formatBold"_qs), Qt::LeftButton);
        QCOMPARE(p.view->formatCommand(), std::optional(EditorFormatCommand::bold));
        QTRY_COMPARE(p.view->formatCommand(), std::nullopt);
        QCOMPARE(p.app.drafts().editorText(), u"hi there"_qs);
    }

    void onlyTheFirstKeystrokeStartsTheEditor() {
        Pane p;
        p.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.view.get()));
        p.app.drafts().setEditorText(u"opened draft"_qs);
        QVERIFY(p.events.isEmpty());
        p.view->editor()->setFocus();
        QTest::keyClick(p.view->editor(), Qt::Key_A);
        QTest::keyClick(p.view->editor(), Qt::Key_B);
        QCOMPARE(p.events, QList<AppTelemetryEvent>{AppTelemetryEvent::editorStarted});
        // A new pane is a new editor: its first keystroke counts again.
        p.view = p.make();
        p.view->show();
        QTest::keyClick(p.view->editor(), Qt::Key_C);
        QCOMPARE(p.events, QList<AppTelemetryEvent>(2, AppTelemetryEvent::editorStarted));
    }

    void backGoesToTheDrafts() {
        Pane p;
        p.view->show();
        auto* back = p.child<QToolButton>(u"backToDraftsButton"_qs);
        QCOMPARE(back->accessibleName(), u"Back to drafts"_qs);
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(p.showDrafts, 1);
    }

    void recentActivityAddress() {
        QCOMPARE(EditorView::recentActivityURL().path(), u"/in/me/recent-activity/all/"_qs);
        QCOMPARE(EditorView::recentActivityURL().scheme(), u"https"_qs);
    }
};

QTEST_MAIN(TestEditorView)
#include "tst_editorview.moc"
