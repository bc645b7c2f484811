#include "core/storage/DraftStore.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "ui/editor/EditorFormatCommand.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using quillon::DraftStore;
using quillon::EditorFormatCommand;
using quillon::RichTextEditor;

namespace {

void select(RichTextEditor& editor, int location, int length) {
    QTextCursor cursor(editor.document());
    cursor.setPosition(location);
    cursor.setPosition(location + length, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

QPair<int, int> selection(const RichTextEditor& editor) {
    const QTextCursor cursor = editor.textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

} // namespace

class TestRichTextEditor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void lookOfTheText();
    void typingWritesAtOnceAndCountsTheFirstEditOnce();
    void wrappedLinesNeverScrollSideways();
    void command_data();
    void command();
    void commandSetTwiceBeforeItClearsAppliesOnce();
    void formattedTextReachesTheStoreAfterTheEditorIsGone();
    void textFromOutside();
    void pasteKeepsOnlyCharacters_data();
    void pasteKeepsOnlyCharacters();
    void copyKeepsCharacters();
    void aPageOnTheScrollBarMovesAsTheBareEditor();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<DraftStore> m_store;
    std::unique_ptr<RichTextEditor> m_editor;
    int m_firstEdits = 0;
};

void TestRichTextEditor::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    auto defaults =
        std::make_shared<quillon::SqliteUserDefaults>(m_dir->filePath(u"defaults.sqlite3"_s));
    m_store = std::make_unique<DraftStore>(
        std::make_shared<quillon::UserDefaultsDraftRepository>(u"drafts"_s, defaults),
        [](quillon::AppTelemetryEvent) {});
    m_editor = std::make_unique<RichTextEditor>();
    m_firstEdits = 0;
    m_editor->setOnFirstEdit([this] { ++m_firstEdits; });
    m_editor->bindText(*m_store);
    m_editor->resize(400, 300);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestRichTextEditor::cleanup() {
    m_editor.reset();
    m_store.reset();
}

void TestRichTextEditor::lookOfTheText() {
    QCOMPARE(m_editor->text(), DraftStore::initialEditorText());
    QCOMPARE(m_editor->font(), quillon::font(quillon::TextStyle::body));
    QCOMPARE(m_editor->palette().color(QPalette::Text), quillon::Theme::inkNSColor());
    QCOMPARE(m_editor->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(m_editor->document()->documentMargin(), 0.0);
}

void TestRichTextEditor::typingWritesAtOnceAndCountsTheFirstEditOnce() {
    m_store->setEditorText(QString());
    m_editor->setFocus();
    QTest::keyClicks(m_editor.get(), u"H"_s);
    // Written through before any event loop turn.
    QCOMPARE(m_store->editorText(), u"H"_s);
    QCOMPARE(m_firstEdits, 1);
    QTest::keyClicks(m_editor.get(), u"i there"_s);
    QCOMPARE(m_store->editorText(), u"Hi there"_s);
    QCOMPARE(m_firstEdits, 1);

    // A new editor instance has a first edit of its own.
    RichTextEditor second;
    int secondFirstEdits = 0;
    second.setOnFirstEdit([&] { ++secondFirstEdits; });
    second.bindText(*m_store);
    QCOMPARE(second.text(), u"Hi there"_s);
    second.setCommand(EditorFormatCommand::bullets);
    QCOMPARE(secondFirstEdits, 0);
    QTest::keyClick(&second, Qt::Key_X);
    QCOMPARE(secondFirstEdits, 1);
    QCOMPARE(m_firstEdits, 1);
}

// The caret on a space that ends a wrapped line lies past the right edge; with no horizontal
// scroll bar the editor must not shift every line left to show it, cutting their first letters.
void TestRichTextEditor::wrappedLinesNeverScrollSideways() {
    m_store->setEditorText(QString());
    m_editor->setFocus();
    int mostShifted = 0;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClicks(m_editor.get(), u"A long post that will not fit on a full disk. "_s);
        mostShifted = qMax(mostShifted, m_editor->horizontalScrollBar()->value());
    }
    QCOMPARE(mostShifted, 0);
    QCOMPARE(m_editor->horizontalScrollBar()->maximum(), 0);
}

void TestRichTextEditor::command_data() {
    QTest::addColumn<EditorFormatCommand>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("location");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("expectedLocation");
    QTest::addColumn<int>("expectedLength");

    QTest::newRow("bold over a selection")
        << EditorFormatCommand::bold << u"Make abc now"_s << 5 << 3
        << u"Make \U0001D5EE\U0001D5EF\U0001D5F0 now"_s << 5 << 6;
    QTest::newRow("bold keeps no-break spaces and line separators")
        << EditorFormatCommand::bold << u"a\u00A0b\u2028c"_s << 0 << 5
        << u"\U0001D5EE\u00A0\U0001D5EF\u2028\U0001D5F0"_s << 0 << 8;
    QTest::newRow("strikethrough across lines")
        << EditorFormatCommand::strikethrough << u"ab\ncd"_s << 1 << 3
        << u"ab\u0336\n\u0336c\u0336d"_s << 1 << 6;
    QTest::newRow("bullets, caret in first of two lines")
        << EditorFormatCommand::bullets << u"one\ntwo"_s << 1 << 0 << u"- one\ntwo"_s << 0 << 5;
    QTest::newRow("numbered over both lines") << EditorFormatCommand::numbered << u"one\ntwo"_s << 2
                                              << 3 << u"1. one\n2. two"_s << 0 << 13;
    QTest::newRow("bold, caret only")
        << EditorFormatCommand::bold << u"Hello"_s << 2 << 0 << u"Hello"_s << 2 << 0;
}

void TestRichTextEditor::command() {
    QFETCH(EditorFormatCommand, command);
    QFETCH(QString, text);
    QFETCH(int, location);
    QFETCH(int, length);
    QFETCH(QString, expected);
    QFETCH(int, expectedLocation);
    QFETCH(int, expectedLength);

    m_store->setEditorText(text);
    QCOMPARE(m_editor->text(), text);
    select(*m_editor, location, length);

    QStringList order;
    connect(m_store.get(), &DraftStore::editorTextChanged, this,
            [&](const QString& newText) { order << u"text "_s + newText; });
    connect(m_editor.get(), &RichTextEditor::commandChanged, this,
            [&](std::optional<EditorFormatCommand> c) {
                order << (c ? u"command"_s : u"command none"_s);
            });

    m_editor->setCommand(command);
    QCOMPARE(m_editor->text(), expected);
    QCOMPARE(selection(*m_editor), qMakePair(expectedLocation, expectedLength));
    // Not yet: the binding hears of it on the next turn of the event loop.
    QCOMPARE(m_store->editorText(), text);
    QCOMPARE(m_editor->command(), std::optional(command));

    QTRY_COMPARE(m_editor->command(), std::nullopt);
    QCOMPARE(m_store->editorText(), expected);
    QStringList expectedOrder{u"command"_s};
    if (expected != text) {
        expectedOrder << u"text "_s + expected;
    }
    expectedOrder << u"command none"_s;
    QCOMPARE(order, expectedOrder);
    QCOMPARE(m_editor->text(), expected);
    QCOMPARE(selection(*m_editor), qMakePair(expectedLocation, expectedLength));
    QCOMPARE(m_firstEdits, 0);
}

void TestRichTextEditor::commandSetTwiceBeforeItClearsAppliesOnce() {
    m_store->setEditorText(u"ab"_s);
    m_editor->setCommand(EditorFormatCommand::bullets);
    m_editor->setCommand(EditorFormatCommand::bullets);
    QTRY_COMPARE(m_editor->command(), std::nullopt);
    QCOMPARE(m_store->editorText(), u"- ab"_s);

    // Once cleared, the same command applies again.
    m_editor->setCommand(EditorFormatCommand::bullets);
    QTRY_COMPARE(m_editor->command(), std::nullopt);
    QCOMPARE(m_store->editorText(), u"- - ab"_s);
}

void TestRichTextEditor::formattedTextReachesTheStoreAfterTheEditorIsGone() {
    m_store->setEditorText(u"ab"_s);
    select(*m_editor, 0, 2);
    m_editor->setCommand(EditorFormatCommand::code);
    m_editor.reset();
    QTRY_COMPARE(m_store->editorText(), u"`ab`"_s);
}

void TestRichTextEditor::textFromOutside() {
    m_store->setEditorText(u"caf\u00E9 latte"_s);
    QCOMPARE(m_editor->text(), u"caf\u00E9 latte"_s);
    select(*m_editor, 1, 3);

    // Canonically equal: the view and its selection stay as they are.
    m_store->setEditorText(u"cafe\u0301 latte"_s);
    QCOMPARE(m_editor->text(), u"caf\u00E9 latte"_s);
    QCOMPARE(selection(*m_editor), qMakePair(1, 3));
    m_editor->setText(u"caf\u00E9 latte"_s);
    QCOMPARE(selection(*m_editor), qMakePair(1, 3));

    m_store->setEditorText(u"Another draft\nwith two lines"_s);
    QCOMPARE(m_editor->text(), u"Another draft\nwith two lines"_s);
    QCOMPARE(m_firstEdits, 0);
}

void TestRichTextEditor::pasteKeepsOnlyCharacters_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("expected");

    const QString styled = u"<p><b style=\"color:#ff0000;font-size:40px\">Big</b> "
                           "<span style=\"background:#ff0000\">red</span></p>"_s;
    QTest::newRow("styled text with its plain form") << styled << u"Big red"_s << u"Big red"_s;
    QTest::newRow("styled text alone") << styled << QString() << u"Big red"_s;
}

void TestRichTextEditor::pasteKeepsOnlyCharacters() {
    QFETCH(QString, html);
    QFETCH(QString, plain);
    QFETCH(QString, expected);

    m_store->setEditorText(QString());
    auto* data = new QMimeData;
    data->setHtml(html);
    if (!plain.isNull()) {
        data->setText(plain);
    }
    QGuiApplication::clipboard()->setMimeData(data);
    m_editor->paste();

    QCOMPARE(m_editor->text(), expected);
    QCOMPARE(m_store->editorText(), expected);
    QCOMPARE(m_firstEdits, 1);
    for (QTextBlock block = m_editor->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QVERIFY2(it.fragment().charFormat().properties().isEmpty(),
                     qPrintable(it.fragment().text()));
        }
    }
    // Nothing red reaches the screen, neither text nor background.
    const QImage shot = m_editor->grab().toImage();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            QVERIFY2(c.red() - c.green() < 60, qPrintable(u"%1,%2"_s.arg(x).arg(y)));
        }
    }
}

void TestRichTextEditor::copyKeepsCharacters() {
    m_store->setEditorText(u"a\u00A0b\u2028c\nd"_s);
    m_editor->selectAll();
    m_editor->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), u"a\u00A0b\u2028c\nd"_s);

    auto* image = new QMimeData;
    image->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(image);
    QVERIFY(!m_editor->canPaste());
}

QTEST_MAIN(TestRichTextEditor)
// The editor's own scroll bar pages through wrapped lines as the one a bare editor comes with.
void TestRichTextEditor::aPageOnTheScrollBarMovesAsTheBareEditor() {
    QStringList lines;
    for (int i = 1; i <= 200; ++i) {
        lines.append(u"Line %1 runs on long enough to wrap once at the width of the editor "
                     "in this test"_s.arg(i));
    }
    m_store->setEditorText(lines.join(u'\n'));
    QPlainTextEdit bare;
    bare.setFont(m_editor->font());
    bare.setFrameShape(m_editor->frameShape());
    bare.document()->setDocumentMargin(0);
    bare.setWordWrapMode(m_editor->wordWrapMode());
    bare.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bare.setPlainText(m_editor->text());
    bare.resize(m_editor->size());
    bare.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bare));
    QVERIFY(m_editor->verticalScrollBar()->isVisible());
    for (int page = 1; page <= 3; ++page) {
        m_editor->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        bare.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(m_editor->verticalScrollBar()->value(), bare.verticalScrollBar()->value());
    }
}

#include "tst_richtexteditor.moc"
