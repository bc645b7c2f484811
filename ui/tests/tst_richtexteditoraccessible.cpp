#include "ui/editor/RichTextEditor.h"
#include "ui/editor/RichTextEditorAccessible.h"
#include "ui/tests/AccessibilityEvents.h"

#include <QAccessible>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// "Bold" in mathematical sans-serif bold, as the toolbar writes it: two UTF-16 units a letter.
const QString bold = u"\U0001D5D5\U0001D5FC\U0001D5F9\U0001D5F1"_s;
// Three lines; the second holds the bold word. In code points: "Plain\n" 0-5, bold 6-9,
// " words\n" 10-16, "end" 17-19.
const QString post = u"Plain\n"_s + bold + u" words\nend"_s;

} // namespace

class TestRichTextEditorAccessible : public QObject {
    Q_OBJECT

    std::unique_ptr<AccessibilityEvents> events;
    std::unique_ptr<RichTextEditor> editor;

    QAccessibleTextInterface* text() const {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(editor.get());
        return accessible ? accessible->textInterface() : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        // First: the editor's own handler goes over the recorder and hands it its events.
        events = std::make_unique<AccessibilityEvents>();
    }
    void init() {
        editor = std::make_unique<RichTextEditor>();
        editor->resize(600, 300);
        editor->setText(post);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    }
    void cleanup() { editor.reset(); }
    void cleanupTestCase() { events.reset(); }

    void offsetsConvertBothWays_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("codePoints");
        QTest::newRow("plain") << u"abc"_s << 2 << 2;
        QTest::newRow("after a pair") << bold << 2 << 1;
        QTest::newRow("inside a pair counts the whole character") << bold << 3 << 2;
        QTest::newRow("end") << bold << 8 << 4;
        QTest::newRow("past the end") << bold << 12 << 4;
        QTest::newRow("mixed") << u"a"_s + bold + u"b"_s << 9 << 5;
    }
    void offsetsConvertBothWays() {
        QFETCH(QString, text);
        QFETCH(int, units);
        QFETCH(int, codePoints);
        QCOMPARE(RichTextEditorAccessible::codePointsBefore(text, units), codePoints);
        if (units <= text.size() && !(units > 0 && text[units - 1].isHighSurrogate())) {
            QCOMPARE(RichTextEditorAccessible::unitsBefore(text, codePoints), units);
        }
    }

    void theTextIsCountedInCharacters() {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(editor.get());
        QVERIFY(dynamic_cast<RichTextEditorAccessible*>(accessible));
        QCOMPARE(accessible->role(), QAccessible::EditableText);
        QVERIFY(accessible->state().editable);
        QVERIFY(accessible->state().multiLine);
        QCOMPARE(accessible->text(QAccessible::Value), post);
        QCOMPARE(text()->characterCount(), 20);
        QCOMPARE(text()->text(0, 20), post);
        QCOMPARE(text()->text(6, 10), bold);
        QCOMPARE(text()->text(7, 8), u"\U0001D5FC"_s);
    }

    void aLineWithBoldLettersIsReadWhole_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("boundary");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        const int line = QAccessible::LineBoundary;
        const int word = QAccessible::WordBoundary;
        const int character = QAccessible::CharBoundary;
        QTest::newRow("line, at its first bold letter")
            << 6 << line << bold + u" words\n"_s << 6 << 17;
        QTest::newRow("line, at its last character")
            << 16 << line << bold + u" words\n"_s << 6 << 17;
        QTest::newRow("line before it") << 3 << line << u"Plain\n"_s << 0 << 6;
        QTest::newRow("line after it") << 17 << line << u"end"_s << 17 << 20;
        QTest::newRow("line, at the very end") << 20 << line << u"end"_s << 17 << 20;
        QTest::newRow("bold word") << 8 << word << bold << 6 << 10;
        QTest::newRow("bold letter") << 7 << character << u"\U0001D5FC"_s << 7 << 8;
        QTest::newRow("plain letter after bold") << 11 << character << u"w"_s << 11 << 12;
        QTest::newRow("whole text") << 4 << int(QAccessible::NoBoundary) << post << 0 << 20;
    }
    void aLineWithBoldLettersIsReadWhole() {
        QFETCH(int, offset);
        QFETCH(int, boundary);
        QFETCH(QString, expected);
        QFETCH(int, start);
        QFETCH(int, end);
        int from = -1;
        int to = -1;
        QCOMPARE(text()->textAtOffset(offset, QAccessible::TextBoundaryType(boundary), &from, &to),
                 expected);
        QCOMPARE(from, start);
        QCOMPARE(to, end);
    }

    void theLinesAroundAreFound() {
        int from = -1;
        int to = -1;
        QCOMPARE(text()->textBeforeOffset(8, QAccessible::LineBoundary, &from, &to), u"Plain\n"_s);
        QCOMPARE(std::pair(from, to), std::pair(0, 6));
        QCOMPARE(text()->textAfterOffset(8, QAccessible::LineBoundary, &from, &to), u"end"_s);
        QCOMPARE(std::pair(from, to), std::pair(17, 20));
        QCOMPARE(text()->textBeforeOffset(8, QAccessible::CharBoundary, &from, &to),
                 u"\U0001D5FC"_s);
        QCOMPARE(std::pair(from, to), std::pair(7, 8));
        QCOMPARE(text()->textBeforeOffset(2, QAccessible::LineBoundary, &from, &to), QString());
    }

    void caretAndSelectionAreInCharacters() {
        QTextCursor cursor = editor->textCursor();
        // After the bold word: 6 + 8 units, 6 + 4 characters.
        cursor.setPosition(14);
        editor->setTextCursor(cursor);
        QCOMPARE(text()->cursorPosition(), 10);

        text()->setSelection(0, 7, 9);
        QCOMPARE(editor->textCursor().selectedText(), u"\U0001D5FC\U0001D5F9"_s);
        int from = -1;
        int to = -1;
        QCOMPARE(text()->selectionCount(), 1);
        text()->selection(0, &from, &to);
        QCOMPARE(std::pair(from, to), std::pair(7, 9));
        text()->setCursorPosition(17);
        QCOMPARE(editor->textCursor().position(), 21);
        QCOMPARE(text()->selectionCount(), 0);
    }

    // A reader's dictation or a test walk edits the text in characters too, as typing does.
    void editsAreInCharacters() {
        QAccessibleEditableTextInterface* edit =
            QAccessible::queryAccessibleInterface(editor.get())->editableTextInterface();
        QVERIFY(edit);
        edit->replaceText(10, 16, u" text"_s);
        QCOMPARE(editor->text(), u"Plain\n"_s + bold + u" text\nend"_s);
        edit->insertText(6, u">"_s);
        edit->deleteText(7, 8);
        QCOMPARE(editor->text(), u"Plain\n>"_s + bold.mid(2) + u" text\nend"_s);
        editor->undo();
        QCOMPARE(editor->text(), u"Plain\n>"_s + bold + u" text\nend"_s);
    }

    void aCharacterHasItsPlaceOnScreen() {
        const QRect first = text()->characterRect(6);
        const QRect second = text()->characterRect(7);
        QVERIFY(first.width() > 1);
        QCOMPARE(second.top(), first.top());
        QCOMPARE(second.left(), first.right() + 1);
        QCOMPARE(text()->offsetAtPoint(second.center()), 7);
    }

    // The caret and typing reach the reader in characters too.
    void textEventsAreInCharacters() {
        editor->setFocus();
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(14);
        editor->setTextCursor(cursor);
        const qsizetype before = events->events().size();
        QTest::keyClicks(editor.get(), u"!"_s);
        bool sawInsert = false;
        bool sawCaret = false;
        for (qsizetype i = before; i < events->events().size(); ++i) {
            const AccessibilityEvents::Event& event = events->events()[i];
            if (event.type == QAccessible::TextInserted) {
                QCOMPARE(event.position, 10);
                QCOMPARE(event.text, u"!"_s);
                sawInsert = true;
            } else if (event.type == QAccessible::TextCaretMoved) {
                QCOMPARE(event.position, 11);
                sawCaret = true;
            }
        }
        QVERIFY(sawInsert);
        QVERIFY(sawCaret);
    }
};

QTEST_MAIN(TestRichTextEditorAccessible)
#include "tst_richtexteditoraccessible.moc"
