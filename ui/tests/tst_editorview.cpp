#include "ui/editor/EditorView.h"
#include "ui/editor/PreviewText.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/tests/AppFixture.h"
#include "ui/tests/PreviewLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// The editor pane over the app's own stores, recording its events and the window calls.
struct Pane {
    explicit Pane(const QUrl& backend = QUrl(u"http://127.0.0.1:9/"_s))
        : app(backend) {}

    AppFixture app;
    QList<AppTelemetryEvent> events;
    int showDrafts = 0;
    std::unique_ptr<EditorView> view = make();

    std::unique_ptr<EditorView> make() {
        auto result = std::make_unique<EditorView>(
            app.drafts(), app.session(), app.container.postFlow(), [this] { ++showDrafts; },
            [this](AppTelemetryEvent e) { events.append(e); });
        result->resize(700, 900);
        return result;
    }
    // Shown as the active window, so focus and key events behave as for a user.
    void showActive() {
        view->show();
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
    }
    void select(int from, int to) {
        QTextCursor cursor(view->editor()->document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        view->editor()->setTextCursor(cursor);
    }
    template <typename T = QWidget> T* child(const QString& name) const {
        return view->findChild<T*>(name);
    }
    QString profileText() const {
        QStringList texts;
        for (QLabel* label : view->findChild<QWidget*>(u"preview"_s)->findChildren<QLabel*>()) {
            if (label->objectName() != u"previewText" && label->isVisibleTo(view.get())) {
                texts.append(label->text());
            }
        }
        return texts.join(u" | "_s);
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
        QTest::newRow("empty") << QString() << false << u"Preview appears here."_s;
        QTest::newRow("spaces and line breaks only")
            << u"  \n\t \n"_s << false << u"Preview appears here."_s;
        QTest::newRow("text with surrounding spaces")
            << u"  Hello\nworld  "_s << true << u"  Hello\nworld  "_s;
    }
    void thePreviewShowsTheTextAsTyped() {
        QFETCH(QString, text);
        QFETCH(bool, hasText);
        QFETCH(QString, preview);
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(text);
        QCOMPARE(p.view->hasPostText(), hasText);
        QCOMPARE(p.child<PreviewText>(u"previewText"_s)->text(), preview);
        auto* clear = p.child<QToolButton>(u"clearPostButton"_s);
        QCOMPARE(clear->accessibleName(), u"Clear post text"_s);
        QCOMPARE(clear->isEnabled(), hasText);
        QCOMPARE(clear->isVisible(), hasText);
    }

    void theProfileLineFollowsTheToken_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("localizedHeadline");
        QTest::addColumn<QString>("line");
        QTest::newRow("no token") << false << QString() << QString()
                                  << u"Connect LinkedIn to preview your profile."_s;
        QTest::newRow("no headline") << true << QString() << QString() << u"Ada Demo | Now"_s;
        QTest::newRow("blank headline") << true << u"  "_s << QString() << u"Ada Demo | Now"_s;
        QTest::newRow("headline") << true << u" Founder "_s << QString() << u"Ada Demo | Founder"_s;
        QTest::newRow("localized headline first")
            << true << u"Founder"_s << u"Gr\u00FCnderin"_s << u"Ada Demo | Gr\u00FCnderin"_s;
    }
    void theProfileLineFollowsTheToken() {
        QFETCH(bool, connected);
        QFETCH(QString, headline);
        QFETCH(QString, localizedHeadline);
        QFETCH(QString, line);
        Pane p;
        p.view->show();
        if (connected) {
            LinkedInToken token = tokenFor(u"m1"_s, u"Ada Demo"_s);
            if (!headline.isNull()) {
                token.profile.headline = headline;
            }
            if (!localizedHeadline.isNull()) {
                token.profile.localizedHeadline = localizedHeadline;
            }
            token.profile.pictureURL = u"not a picture address"_s;
            p.app.session().save(token);
        }
        QCOMPARE(p.profileText(), line);
        auto* photo = p.child<LinkedInProfilePhoto>(u"previewPhoto"_s);
        QCOMPARE(photo != nullptr, connected);
        if (photo) {
            QCOMPARE(photo->diameter(), 48.0);
            QCOMPARE(photo->pictureURL(), std::optional<QString>(u"not a picture address"_s));
        }
    }

    void signingOutPutsTheInvitationBack() {
        Pane p;
        p.view->show();
        p.app.session().save(tokenFor(u"m1"_s));
        QCOMPARE(p.profileText(), u"Ada Demo | Now"_s);
        p.app.session().signOut();
        QCOMPARE(p.profileText(), u"Connect LinkedIn to preview your profile."_s);
    }

    void clearingStoresTheOpenedDraftFirst() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"first version"_s);
        p.app.drafts().saveDraft();
        p.app.drafts().setEditorText(u"second version"_s);
        QTest::mouseClick(p.child<QToolButton>(u"clearPostButton"_s), Qt::LeftButton);
        QCOMPARE(p.app.drafts().editorText(), QString());
        QCOMPARE(bodiesOf(p.app.drafts().drafts()), QStringList{u"second version"_s});
        QCOMPARE(p.app.drafts().statusMessage(), std::nullopt);
        QVERIFY(!p.child<QToolButton>(u"clearPostButton"_s)->isVisible());
    }

    void saveDraftSavesTheText() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u" a thought \n"_s);
        QTest::mouseClick(p.child<QPushButton>(u"saveDraftButton"_s), Qt::LeftButton);
        QCOMPARE(bodiesOf(p.app.drafts().drafts()), QStringList{u"a thought"_s});
        QCOMPARE(bodiesOf(p.app.repository().loadDrafts(std::nullopt)),
                 QStringList{u"a thought"_s});
        QCOMPARE(p.app.drafts().statusMessage(), std::optional<QString>(u"Draft saved"_s));
        // Saving through the store's own sink, not the pane's: the pane sent nothing.
        QVERIFY(p.events.isEmpty());
    }

    void theToolbarInOrder() {
        Pane p;
        const QStringList names{u"formatBold"_s,      u"formatItalic"_s,  u"formatStrikethrough"_s,
                                u"formatUnderline"_s, u"formatCode"_s,    u"formatClear"_s,
                                u"formatBullets"_s,   u"formatNumbered"_s};
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
        QCOMPARE(titles, QStringList({u"B"_s, u"I"_s, u"S"_s, u"U"_s, u"<>"_s, u"T/"_s, QString(),
                                      QString()}));
        QVERIFY(p.child<QToolButton>(u"formatBold"_s)->font().bold());
        QVERIFY(p.child<QToolButton>(u"formatItalic"_s)->font().italic());
        QVERIFY(p.child<QToolButton>(u"formatStrikethrough"_s)->font().strikeOut());
        QVERIFY(p.child<QToolButton>(u"formatUnderline"_s)->font().underline());
    }

    void aToolbarCommandFormatsTheSelection() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"hi there"_s);
        RichTextEditor* editor = p.view->editor();
        QTextCursor cursor(editor->document());
        cursor.setPosition(0);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        QTest::mouseClick(p.child<QToolButton>(u"formatBold"_s), Qt::LeftButton);
        QCOMPARE(editor->text(), u"\U0001D5F5\U0001D5F6 there"_s);
        // The store and the preview follow on the editor's next turn.
        QTRY_COMPARE(p.app.drafts().editorText(), u"\U0001D5F5\U0001D5F6 there"_s);
        QCOMPARE(p.child<PreviewText>(u"previewText"_s)->text(), u"\U0001D5F5\U0001D5F6 there"_s);
        QCOMPARE(p.view->formatCommand(), std::nullopt);
    }

    void boldWithoutASelectionChangesNothing() {
        Pane p;
        p.view->show();
        p.app.drafts().setEditorText(u"hi there"_s);
        QTextCursor cursor(p.view->editor()->document());
        cursor.setPosition(3);
        p.view->editor()->setTextCursor(cursor);
        QTest::mouseClick(p.child<QToolButton>(u"formatBold"_s), Qt::LeftButton);
        QCOMPARE(p.view->formatCommand(), std::optional(EditorFormatCommand::bold));
        QTRY_COMPARE(p.view->formatCommand(), std::nullopt);
        QCOMPARE(p.app.drafts().editorText(), u"hi there"_s);
    }

    void onlyTheFirstKeystrokeStartsTheEditor() {
        Pane p;
        p.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.view.get()));
        p.app.drafts().setEditorText(u"opened draft"_s);
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

    void theControlsSayWhatTheyDo_data() {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("back") << u"backToDraftsButton"_s << u"Back to drafts"_s
                              << u"Back to drafts"_s;
        QTest::newRow("bold") << u"formatBold"_s << u"Bold"_s << u"Bold (Ctrl+B)"_s;
        QTest::newRow("italic") << u"formatItalic"_s << u"Italic"_s << u"Italic (Ctrl+I)"_s;
        QTest::newRow("strikethrough")
            << u"formatStrikethrough"_s << u"Strikethrough"_s << u"Strikethrough"_s;
        QTest::newRow("underline")
            << u"formatUnderline"_s << u"Underline"_s << u"Underline (Ctrl+U)"_s;
        QTest::newRow("code") << u"formatCode"_s << u"Code"_s << u"Code"_s;
        QTest::newRow("clear formatting")
            << u"formatClear"_s << u"Clear formatting"_s << u"Clear formatting"_s;
        QTest::newRow("bullets") << u"formatBullets"_s << u"Bulleted list"_s << u"Bulleted list"_s;
        QTest::newRow("numbered") << u"formatNumbered"_s << u"Numbered list"_s
                                  << u"Numbered list"_s;
        QTest::newRow("clear text")
            << u"clearPostButton"_s << u"Clear post text"_s << u"Clear post text"_s;
    }
    void theControlsSayWhatTheyDo() {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(QString, toolTip);
        Pane p;
        auto* button = p.child<QToolButton>(object);
        QVERIFY(button);
        QCOMPARE(button->accessibleName(), name);
        QCOMPARE(button->toolTip(), toolTip);
        // What a screen reader reads is the name, not the title drawn on the button.
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QCOMPARE(QAccessible::queryAccessibleInterface(p.view->editor())->text(QAccessible::Name),
                 u"Post text"_s);
    }

    void toolbarClicksLeaveTheFocusInTheEditor_data() {
        QTest::addColumn<QString>("button");
        for (const char* name :
             {"formatBold", "formatItalic", "formatStrikethrough", "formatUnderline", "formatCode",
              "formatClear", "formatBullets", "formatNumbered"}) {
            QTest::newRow(name) << QString::fromLatin1(name);
        }
    }
    void toolbarClicksLeaveTheFocusInTheEditor() {
        QFETCH(QString, button);
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(u"one two"_s);
        RichTextEditor* editor = p.view->editor();
        editor->setFocus();
        p.select(0, 3);
        QTest::mouseClick(p.child<QToolButton>(button), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), editor);
        // Typing goes on where the command left the selection.
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, u"!"_s);
        QVERIFY(editor->text().endsWith(u'!'));
    }

    void theCaretGoesBackIntoTheEditor_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("save draft") << u"saveDraftButton"_s << u"a thought"_s;
        QTest::newRow("clear") << u"clearPostButton"_s << QString();
    }
    void theCaretGoesBackIntoTheEditor() {
        QFETCH(QString, button);
        QFETCH(QString, textAfter);
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(u"a thought"_s);
        auto* control = p.child<QAbstractButton>(button);
        control->setFocus();
        QTest::mouseClick(control, Qt::LeftButton);
        QCOMPARE(p.app.drafts().editorText(), textAfter);
        QCOMPARE(QApplication::focusWidget(), p.view->editor());
    }

    void tabWalksEveryControlInReadingOrder() {
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(u"some text"_s);
        auto* back = p.child<QWidget>(u"backToDraftsButton"_s);
        back->setFocus(Qt::TabFocusReason);
        const QStringList expected{
            u"backToDraftsButton"_s,  u"formatBold"_s,        u"formatItalic"_s,
            u"formatStrikethrough"_s, u"formatUnderline"_s,   u"formatCode"_s,
            u"formatClear"_s,         u"formatBullets"_s,     u"formatNumbered"_s,
            u"postEditor"_s,          u"clearPostButton"_s,   u"saveDraftButton"_s,
            u"postButton"_s,          u"backToDraftsButton"_s};
        QStringList walked{QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(walked, expected);
        // Tab left the editor without typing into it, and Shift+Tab walks back.
        QCOMPARE(p.app.drafts().editorText(), u"some text"_s);
        p.view->editor()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(p.view->editor(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"formatNumbered"_s);
    }

    // Reached with Tab, each control has the window's focus ring around it; a click on the
    // editor moves the focus without one.
    void focusedControlsShowIt() {
        FocusRing::install();
        Pane p;
        p.showActive();
        for (const QString& name : {u"formatBold"_s, u"postEditor"_s, u"saveDraftButton"_s,
                                    u"postButton"_s, u"backToDraftsButton"_s}) {
            auto* control = p.view->findChild<QWidget*>(name);
            control->setFocus(Qt::TabFocusReason);
            QCOMPARE(FocusRing::ringedWidget(), control);
            auto* ring = p.view->window()->findChild<FocusRing*>();
            QVERIFY(ring && ring->isVisible());
            const QRect around(control->mapTo(p.view->window(), QPoint()), control->size());
            QVERIFY2(ring->geometry().contains(around), qPrintable(name));
        }
        QTest::mouseClick(p.view->editor()->viewport(), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), p.view->editor());
        QCOMPARE(FocusRing::ringedWidget(), nullptr);
    }

    void enterAndSpacePressTheFocusedControl_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<int>("drafts");
        QTest::newRow("save draft, Enter")
            << u"saveDraftButton"_s << int(Qt::Key_Return) << u"hi there"_s << 1;
        QTest::newRow("save draft, Space")
            << u"saveDraftButton"_s << int(Qt::Key_Space) << u"hi there"_s << 1;
        QTest::newRow("clear, Enter")
            << u"clearPostButton"_s << int(Qt::Key_Return) << QString() << 0;
        QTest::newRow("clear, Space")
            << u"clearPostButton"_s << int(Qt::Key_Space) << QString() << 0;
        QTest::newRow("bold, keypad Enter")
            << u"formatBold"_s << int(Qt::Key_Enter) << u"\U0001D5F5\U0001D5F6 there"_s << 0;
        QTest::newRow("bold, Space")
            << u"formatBold"_s << int(Qt::Key_Space) << u"\U0001D5F5\U0001D5F6 there"_s << 0;
    }
    void enterAndSpacePressTheFocusedControl() {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(QString, textAfter);
        QFETCH(int, drafts);
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(u"hi there"_s);
        p.select(0, 2);
        auto* control = p.child<QAbstractButton>(button);
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(p.view->editor()->text(), textAfter);
        QCOMPARE(p.app.drafts().drafts().size(), drafts);
    }

    void shortcutsReachTheCommands_data() {
        QTest::addColumn<QKeyCombination>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("drafts");
        QTest::newRow("Ctrl+B bold")
            << (Qt::CTRL | Qt::Key_B) << u"\U0001D5F5\U0001D5F6 there"_s << 0;
        QTest::newRow("Ctrl+I italic")
            << (Qt::CTRL | Qt::Key_I) << u"\U0001D629\U0001D62A there"_s << 0;
        // On X11 the text field itself would take Ctrl+U to delete the line.
        QTest::newRow("Ctrl+U underline")
            << (Qt::CTRL | Qt::Key_U) << u"h\u0332i\u0332 there"_s << 0;
        QTest::newRow("Ctrl+S save draft") << (Qt::CTRL | Qt::Key_S) << u"hi there"_s << 1;
    }
    void shortcutsReachTheCommands() {
        QFETCH(QKeyCombination, keys);
        QFETCH(QString, text);
        QFETCH(int, drafts);
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(u"hi there"_s);
        p.view->editor()->setFocus();
        p.select(0, 2);
        QTest::keyClick(p.view->editor(), keys.key(), keys.keyboardModifiers());
        QCOMPARE(p.view->editor()->text(), text);
        QTRY_COMPARE(p.app.drafts().editorText(), text);
        QCOMPARE(p.app.drafts().drafts().size(), drafts);
        QCOMPARE(QApplication::focusWidget(), p.view->editor());
    }

    void undoAndRedoTakeBackCommandsAndClearing_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("done");
        QTest::newRow("bold") << u"formatBold"_s << u"\U0001D5F5\U0001D5F6 there"_s;
        QTest::newRow("clear formatting") << u"formatClear"_s << u"hi there"_s;
        QTest::newRow("bullets") << u"formatBullets"_s << u"- hi there"_s;
        QTest::newRow("clear text") << u"clearPostButton"_s << QString();
    }
    void undoAndRedoTakeBackCommandsAndClearing() {
        QFETCH(QString, button);
        QFETCH(QString, done);
        // Clear formatting has bold text to clear: two code units a letter.
        const bool clearsBold = button == u"formatClear";
        const QString before = clearsBold ? u"\U0001D5F5\U0001D5F6 there"_s : u"hi there"_s;
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(before);
        RichTextEditor* editor = p.view->editor();
        editor->setFocus();
        p.select(0, clearsBold ? 4 : 2);
        QTest::mouseClick(p.child<QToolButton>(button), Qt::LeftButton);
        QCOMPARE(editor->text(), done);
        QTRY_COMPARE(p.app.drafts().editorText(), done);

        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor->text(), before);
        QCOMPARE(p.app.drafts().editorText(), before);
        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(editor->text(), done);
        QCOMPARE(p.app.drafts().editorText(), done);
    }

    // Each command is one edit of the editor and one of the preview, which then shows the text
    // laid out exactly as a preview given it whole; undo and redo bring both back and forth.
    void everyCommandReachesThePreviewExactly_data() {
        QTest::addColumn<QString>("button");
        for (const char* button :
             {"formatBold", "formatItalic", "formatStrikethrough", "formatUnderline", "formatCode",
              "formatClear", "formatBullets", "formatNumbered"}) {
            QTest::newRow(button) << QString::fromLatin1(button);
        }
    }
    void everyCommandReachesThePreviewExactly() {
        QFETCH(QString, button);
        // The selection runs from the first line into the second, over a bold word.
        const QString before =
            u"Three things \U0001F680 I learned\n\U0001D5EF\U0001D5FC\U0001D5F9\U0001D5F1 "
            "words and more words, enough to wrap in the preview at its width so that the "
            "lines show where they break\nlast line \U0001F44D\U0001F3FD"_s;
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(before);
        RichTextEditor* editor = p.view->editor();
        auto* preview = p.child<PreviewText>(u"previewText"_s);
        editor->setFocus();
        p.select(6, 60);
        QSignalSpy editorChanges(editor->document(), &QTextDocument::contentsChange);
        QSignalSpy previewChanges(&preview->document(), &QTextDocument::contentsChange);
        QTest::mouseClick(p.child<QToolButton>(button), Qt::LeftButton);
        QTRY_COMPARE(p.view->formatCommand(), std::nullopt);
        const QString done = p.app.drafts().editorText();
        QVERIFY(done != before);
        QCOMPARE(editor->text(), done);
        QCOMPARE(editorChanges.count(), 1);
        QCOMPARE(previewChanges.count(), 1);
        QCOMPARE(preview->text(), done);
        QCOMPARE(previewLines(*preview),
                 previewLines(FreshPreview(done, preview->width()).preview));

        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(p.app.drafts().editorText(), before);
        QCOMPARE(preview->text(), before);
        QCOMPARE(previewLines(*preview),
                 previewLines(FreshPreview(before, preview->width()).preview));
        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(p.app.drafts().editorText(), done);
        QCOMPARE(preview->text(), done);
        QCOMPARE(previewLines(*preview),
                 previewLines(FreshPreview(done, preview->width()).preview));
        QCOMPARE(previewChanges.count(), 3);
    }

    // A key changes the preview's document where it was typed and nowhere else, and the new
    // line it starts lays the preview out at no other width on the way.
    void aKeystrokeChangesOnlyItsPartOfThePreview() {
        Pane p;
        p.showActive();
        const QString paragraph =
            u"We shipped the new onboarding flow this week \U0001F680 and the team measured a "
            "lift in activation, so here is what we learned from it.\n"_s;
        p.app.drafts().setEditorText(paragraph + paragraph + u"The end."_s);
        RichTextEditor* editor = p.view->editor();
        auto* preview = p.child<PreviewText>(u"previewText"_s);
        QTRY_COMPARE(preview->height(), preview->heightForWidth(preview->width()));
        const int previewHeight = preview->height();
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QSignalSpy changes(&preview->document(), &QTextDocument::contentsChange);
        QSignalSpy sizes(preview->document().documentLayout(),
                         &QAbstractTextDocumentLayout::documentSizeChanged);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(preview->height() > previewHeight);
        const int end = int(p.app.drafts().editorText().size()) - 1;
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0), (QVariantList{end, 0, 1}));
        QCOMPARE(sizes.count(), 1);
        QCOMPARE(previewLines(*preview),
                 previewLines(FreshPreview(p.app.drafts().editorText(), preview->width()).preview));
    }

    // A narrower pane wraps the preview anew, to the lines a preview of that width shows.
    void thePreviewWrapsAnewWhenThePaneNarrows() {
        Pane p;
        p.showActive();
        const QString text =
            u"A paragraph long enough to take a few lines in the preview \U0001F680, and more "
            "of them once the window is made narrower than it was at first."_s;
        p.app.drafts().setEditorText(text);
        auto* preview = p.child<PreviewText>(u"previewText"_s);
        QTRY_COMPARE(preview->height(), preview->heightForWidth(preview->width()));
        const QSize before = preview->size();
        p.view->resize(420, 900);
        QTRY_VERIFY(preview->width() < before.width());
        QTRY_VERIFY(preview->height() > before.height());
        const FreshPreview fresh(text, preview->width());
        QTRY_COMPARE(preview->height(), fresh.preview.height());
        QCOMPARE(previewLines(*preview), previewLines(fresh.preview));
    }

    void everyTypedLineBreakIsANewline_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("Enter") << int(Qt::Key_Return) << Qt::KeyboardModifiers();
        QTest::newRow("Shift+Enter")
            << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier);
        QTest::newRow("keypad Shift+Enter")
            << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::KeypadModifier);
    }
    void everyTypedLineBreakIsANewline() {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        Pane p;
        p.showActive();
        p.app.drafts().setEditorText(QString());
        RichTextEditor* editor = p.view->editor();
        editor->setFocus();
        QTest::keyClicks(editor, u"Line A"_s);
        QTest::keyClick(editor, Qt::Key(key), modifiers);
        QTest::keyClicks(editor, u"Line B"_s);
        QCOMPARE(p.app.drafts().editorText(), u"Line A\nLine B"_s);
    }

    // The editor grows with its text from 260 until the toolbar and the editor fill the page's
    // view, then scrolls inside itself, and the caret stays in sight in both.
    void theEditorGrowsUntilThePageIsFullThenScrolls_data() {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<bool>("scrollsInside");
        QTest::newRow("a few lines") << 3 << false;
        QTest::newRow("more than 260 points of lines") << 18 << false;
        QTest::newRow("more than the page shows") << 60 << true;
    }
    void theEditorGrowsUntilThePageIsFullThenScrolls() {
        QFETCH(int, lineCount);
        QFETCH(bool, scrollsInside);
        Pane p;
        p.view->resize(700, 800);
        p.showActive();
        RichTextEditor* editor = p.view->editor();
        auto* page = qobject_cast<QScrollArea*>(p.child<QWidget>(u"editorPage"_s));
        QVERIFY(page);
        QStringList lines;
        for (int i = 1; i <= lineCount; ++i) {
            lines.append(u"Line %1"_s.arg(i));
        }
        p.app.drafts().setEditorText(lines.join(u'\n'));
        const int lineSpacing = editor->fontMetrics().lineSpacing();
        auto* strip = p.child<QWidget>(u"formatStrip"_s);
        // The toolbar and the editor together fit the page's view.
        QTRY_VERIFY(editor->height() >= qMin(lineCount * lineSpacing, 500));
        QVERIFY(editor->height() >= 260);
        QVERIFY(strip->height() + editor->height() <= page->viewport()->height());
        QCOMPARE(editor->verticalScrollBar()->maximum() > 0, scrollsInside);
        QCOMPARE(editor->verticalScrollBar()->isVisible(), scrollsInside);

        // Typing at the end brings the caret into sight in the editor and on the page.
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(editor, u"!"_s);
        QVERIFY(editor->viewport()->rect().contains(editor->cursorRect()));
        const auto caretOnPage = [&] {
            return QRect(
                editor->viewport()->mapTo(page->viewport(), editor->cursorRect().topLeft()),
                editor->cursorRect().size());
        };
        // The page may still be taking in the editor's new height.
        QTRY_VERIFY(page->viewport()->rect().contains(caretOnPage()));
        QCOMPARE(editor->cursorForPosition(editor->cursorRect().center()).block().text(),
                 lines.last() + u"!"_s);
    }

    // With the caret scrolled out of the editor's view, a change of the page's height (the
    // status line appearing) leaves the page where the user has it.
    void aCaretOutOfTheEditorsViewLeavesThePageAlone() {
        Pane p;
        p.view->resize(700, 800);
        p.showActive();
        RichTextEditor* editor = p.view->editor();
        auto* page = qobject_cast<QScrollArea*>(p.child<QWidget>(u"editorPage"_s));
        QStringList lines;
        for (int i = 1; i <= 80; ++i) {
            lines.append(u"Line %1"_s.arg(i));
        }
        p.app.drafts().setEditorText(lines.join(u'\n'));
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTRY_VERIFY(editor->verticalScrollBar()->maximum() > 0);
        QTRY_VERIFY(page->verticalScrollBar()->maximum() > 0);
        // The user scrolls both back to the top; the caret stays at the end.
        page->verticalScrollBar()->setValue(0);
        editor->verticalScrollBar()->setValue(0);
        QVERIFY(!editor->viewport()->rect().intersects(editor->cursorRect()));
        const int range = page->verticalScrollBar()->maximum();
        p.app.drafts().setStatusMessage(u"Draft saved"_s);
        QTRY_VERIFY(page->verticalScrollBar()->maximum() != range);
        QCOMPARE(page->verticalScrollBar()->value(), 0);
    }

    // A long post of wrapped lines: the editor stays as tall as the page allows, a command over
    // every line reaches the last one, and Ctrl+End scrolls the last line into view.
    void aPostOfManyWrappedLinesScrollsInTheEditor() {
        Pane p;
        p.showActive();
        RichTextEditor* editor = p.view->editor();
        auto* page = qobject_cast<QScrollArea*>(p.child<QWidget>(u"editorPage"_s));
        const int count = 2000;
        QStringList lines;
        for (int i = 1; i <= count; ++i) {
            lines.append(
                u"Line %1 runs on long enough to wrap once it meets the edge of the "
                "editor, which is narrower than this line of words and more words"_s.arg(i));
        }
        p.app.drafts().setEditorText(lines.join(u'\n'));
        QTRY_VERIFY(editor->verticalScrollBar()->maximum() > 0);
        QVERIFY(editor->height() <= page->viewport()->height());
        editor->setFocus();
        p.select(0, int(editor->text().size()));
        QTest::mouseClick(p.child<QToolButton>(u"formatBullets"_s), Qt::LeftButton);
        QTRY_COMPARE(p.app.drafts().editorText().count(u"- Line"_s), count);
        QVERIFY(editor->height() <= page->viewport()->height());
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(editor->viewport()->rect().contains(editor->cursorRect()));
        QVERIFY(editor->cursorForPosition(editor->cursorRect().center())
                    .block()
                    .text()
                    .startsWith(u"- Line %1 "_s.arg(count)));
    }

    // Bold over a long post: the preview's first lines come at once, the rest while the event
    // loop is free, and it ends as a preview given the text at once, undo and redo alike.
    void boldOverALongPostSettlesInThePreview() {
        Pane p;
        p.showActive();
        QString before;
        for (int i = 0; before.size() < 30000; ++i) {
            before += u"Paragraph %1 \U0001F680 with words enough to wrap in the preview at "
                      "its width, and then some more words.\n"_s.arg(i);
        }
        p.app.drafts().setEditorText(before);
        RichTextEditor* editor = p.view->editor();
        auto* preview = p.child<PreviewText>(u"previewText"_s);
        QVERIFY(settle(*preview));
        editor->setFocus();
        p.select(0, int(before.size()));
        QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
        QTRY_COMPARE(p.view->formatCommand(), std::nullopt);
        const QString done = p.app.drafts().editorText();
        QVERIFY(done != before);
        QCOMPARE(preview->text(), done);
        QVERIFY(preview->isLayingOut());
        const auto settledAs = [&](const QString& text) {
            QVERIFY(settle(*preview));
            const FreshPreview fresh(text, preview->width());
            QTRY_COMPARE(preview->height(), fresh.preview.height());
            QCOMPARE(previewLines(*preview), previewLines(fresh.preview));
        };
        settledAs(done);
        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(p.app.drafts().editorText(), before);
        settledAs(before);
        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(p.app.drafts().editorText(), done);
        settledAs(done);
    }

    void theCardsKeepTheirPlaceWhenThePageStartsScrolling() {
        Pane p;
        p.view->resize(700, 650);
        p.showActive();
        p.app.drafts().setEditorText(u"One line"_s);
        auto* card = p.child<QWidget>(u"editorCard"_s);
        auto* preview = p.child<QWidget>(u"preview"_s);
        QTRY_VERIFY(card->width() > 0);
        const QRect cardBefore(card->mapTo(p.view.get(), QPoint()), card->size());
        const QSize previewBefore = preview->size();
        QStringList lines;
        for (int i = 1; i <= 12; ++i) {
            lines.append(u"Line %1"_s.arg(i));
        }
        p.app.drafts().setEditorText(lines.join(u'\n'));
        auto* page = qobject_cast<QScrollArea*>(p.child<QWidget>(u"editorPage"_s));
        QVERIFY(page);
        QTRY_VERIFY(page->verticalScrollBar()->isVisible());
        QTRY_VERIFY(preview->height() > previewBefore.height());
        QCOMPARE(card->mapTo(p.view.get(), QPoint()).x(), cardBefore.x());
        QCOMPARE(card->width(), cardBefore.width());
        QCOMPARE(preview->width(), previewBefore.width());
    }

    void theNameAndHeadlineSitBesideThePhoto() {
        Pane p;
        p.showActive();
        p.app.session().save(tokenFor(u"m1"_s, u"Ada Demo"_s, u"Founder"_s));
        auto* photo = p.child<QWidget>(u"previewPhoto"_s);
        auto* name = p.child<QWidget>(u"previewName"_s);
        auto* headline = p.child<QWidget>(u"previewHeadline"_s);
        QTRY_VERIFY(photo->isVisible() && name->isVisible() && headline->isVisible());
        const auto top = [&](QWidget* w) { return w->mapTo(p.view.get(), QPoint()).y(); };
        // A compact pair: the headline right under the name, the pair centred on the photo.
        QVERIFY(top(headline) - (top(name) + name->height()) <= 4);
        const int pairCentre = (top(name) + top(headline) + headline->height()) / 2;
        const int photoCentre = top(photo) + photo->height() / 2;
        QVERIFY2(qAbs(pairCentre - photoCentre) <= 2,
                 qPrintable(u"%1 vs %2"_s.arg(pairCentre).arg(photoCentre)));
    }

    void backGoesToTheDrafts() {
        Pane p;
        p.view->show();
        auto* back = p.child<QToolButton>(u"backToDraftsButton"_s);
        QCOMPARE(back->accessibleName(), u"Back to drafts"_s);
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(p.showDrafts, 1);
    }

    void recentActivityAddress() {
        QCOMPARE(EditorView::recentActivityURL().path(), u"/in/me/recent-activity/all/"_s);
        QCOMPARE(EditorView::recentActivityURL().scheme(), u"https"_s);
    }
};

QTEST_MAIN(TestEditorView)
#include "tst_editorview.moc"
