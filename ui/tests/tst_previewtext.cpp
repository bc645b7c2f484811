#include "ui/editor/PreviewText.h"
#include "ui/tests/PreviewLayout.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// The document's characters, line breaks as "\n".
QString documentText(const PreviewText& preview) {
    return preview.document().toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

} // namespace

class TestPreviewText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aNewTextShowsAsIfGivenAtOnce_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        // Long enough to wrap at the test's width.
        const QString paragraph =
            u"We shipped the new onboarding flow this week \U0001F680 and the caf\u00e9 team "
            "measured a lift."_s;
        const QString post = paragraph + u'\n' + paragraph + u"\n\n"_s + paragraph;
        QTest::newRow("typing at the end") << post << post + u"!"_s;
        QTest::newRow("typing at the start") << post << u"A"_s + post;
        QTest::newRow("typing in a middle line") << post << QString(post).insert(120, u"new "_s);
        QTest::newRow("a word more starts a line")
            << post << QString(post).insert(30, u"a rather longer inserted phrase "_s);
        QTest::newRow("deleting a character") << post << QString(post).remove(10, 1);
        QTest::newRow("joining two lines") << post << QString(post).remove(paragraph.size(), 1);
        QTest::newRow("splitting a line") << post << QString(post).insert(20, u'\n');
        QTest::newRow("an empty line more") << post << QString(post).insert(0, u'\n');
        QTest::newRow("across lines") << post << QString(post).replace(40, 140, u"short"_s);
        QTest::newRow("another bold letter, same high surrogate")
            << u"x \U0001D5EE y"_s << u"x \U0001D5EF y"_s;
        QTest::newRow("another skin tone")
            << u"ok \U0001F44D\U0001F3FD"_s << u"ok \U0001F44D\U0001F3FF"_s;
        QTest::newRow("a strike mark added") << u"strike"_s << u"s\u0336trike"_s;
        QTest::newRow("everything replaced") << post << u"Something else entirely."_s;
        QTest::newRow("from nothing") << QString() << post;
        QTest::newRow("to nothing") << post << QString();
        QTest::newRow("repeated text grows by its repeat") << u"abab"_s << u"ababab"_s;
        QTest::newRow("carriage returns and a line separator")
            << u"one\r\ntwo\rthree"_s << u"one\r\ntwo\r3\u2028four"_s;
        QTest::newRow("a carriage return before a line feed") << u"one\ntwo"_s << u"one\r\ntwo"_s;
    }
    void aNewTextShowsAsIfGivenAtOnce() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const int width = 300;
        FreshPreview changed(before, width);
        changed.preview.setText(after);
        const FreshPreview fresh(after, width);
        QCOMPARE(changed.preview.text(), after);
        QCOMPARE(documentText(changed.preview), documentText(fresh.preview));
        QCOMPARE(changed.preview.heightForWidth(width), fresh.preview.heightForWidth(width));
        QCOMPARE(previewLines(changed.preview), previewLines(fresh.preview));
    }

    // A change over much of a long post lays out its first lines at once and the rest while
    // the event loop is free; once settled, the preview is as if given the text at once.
    void aLongChangeSettlesAsIfGivenAtOnce_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("typedMeanwhile");
        QTest::addColumn<int>("widthMeanwhile");
        QString post;
        for (int i = 0; post.size() < 40000; ++i) {
            post += u"Paragraph %1 of a long post \U0001F680 with words enough to wrap at the "
                    "width of the test, and a caf\u00e9 \U0001F44D\U0001F3FD.\n"_s.arg(i);
        }
        QString bold = post;
        bold.replace(u'a', u"\U0001D5EE"_s);
        QTest::newRow("every letter changed") << post << bold << QString() << 0;
        QTest::newRow("pasted into nothing") << QString() << post << QString() << 0;
        QTest::newRow("cut to a line") << post << u"One line."_s << QString() << 0;
        QTest::newRow("typed at the end meanwhile") << post << bold << u"!"_s << 0;
        QTest::newRow("narrowed meanwhile") << post << bold << QString() << 180;
    }
    void aLongChangeSettlesAsIfGivenAtOnce() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, typedMeanwhile);
        QFETCH(int, widthMeanwhile);
        int width = 300;
        FreshPreview changed(before, width);
        changed.preview.setText(after);
        QCOMPARE(changed.preview.text(), after);
        // The rest is left to the event loop only when there is much of it.
        QCOMPARE(changed.preview.isLayingOut(), after.size() > 20000);
        // The first lines, those a page shows first, are there at once; the last ones wait.
        QVERIFY(changed.preview.document().firstBlock().layout()->lineCount() > 0);
        QCOMPARE(changed.preview.document().lastBlock().layout()->lineCount() == 0,
                 changed.preview.isLayingOut());
        QVERIFY(changed.preview.heightForWidth(width) > 0);
        if (!typedMeanwhile.isEmpty()) {
            after += typedMeanwhile;
            changed.preview.setText(after);
        }
        if (widthMeanwhile > 0) {
            // Shown, so the new width reaches it now.
            changed.preview.show();
            width = widthMeanwhile;
            changed.preview.resize(width, changed.preview.height());
        }
        QVERIFY(settle(changed.preview));
        const FreshPreview fresh(after, width);
        // Laid out to its last line.
        QVERIFY(fresh.preview.document().lastBlock().layout()->lineCount() > 0);
        QCOMPARE(documentText(changed.preview), documentText(fresh.preview));
        QCOMPARE(changed.preview.heightForWidth(width), fresh.preview.heightForWidth(width));
        QCOMPARE(previewLines(changed.preview), previewLines(fresh.preview));
    }

    // Only the span that differs goes into the document, so only its lines are laid out anew.
    void aChangeReplacesOnlyWhatDiffers_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("added");
        QTest::newRow("typed at the end") << u"one\ntwo"_s << u"one\ntwo!"_s << 7 << 0 << 1;
        QTest::newRow("deleted in the middle") << u"one\ntwo"_s << u"on\ntwo"_s << 2 << 1 << 0;
        QTest::newRow("one word replaced") << u"one two three"_s << u"one 2 three"_s << 4 << 3 << 1;
        // The pair's common high surrogate goes too: half a pair is no character.
        QTest::newRow("a bold letter") << u"a\U0001D5EEb"_s << u"a\U0001D5EFb"_s << 1 << 2 << 2;
        QTest::newRow("the same text") << u"same"_s << u"same"_s << -1 << -1 << -1;
    }
    void aChangeReplacesOnlyWhatDiffers() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, from);
        QFETCH(int, removed);
        QFETCH(int, added);
        FreshPreview preview(before, 300);
        QSignalSpy changes(&preview.preview.document(), &QTextDocument::contentsChange);
        preview.preview.setText(after);
        if (from < 0) {
            QCOMPARE(changes.count(), 0);
            return;
        }
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0), (QVariantList{from, removed, added}));
    }

    void aWordLongerThanTheLineWraps() {
        FreshPreview preview(QString(400, u'x'), 200);
        QVERIFY(preview.preview.minimumSizeHint().width() < 200);
        QVERIFY(preview.preview.heightForWidth(200) > 2 * preview.preview.fontMetrics().height());
        for (const QString& line : previewLines(preview.preview)) {
            QVERIFY2(line.section(u" width "_s, 1).toDouble() <= 200, qPrintable(line));
        }
    }

    // A width asked about is answered with the present height; the width given wraps anew and
    // asks the layout to come back for the height there.
    void aNewWidthWrapsTheLinesAnew() {
        const QString text = u"Words that wrap into more lines when the preview gets narrower."_s;
        FreshPreview preview(text, 400);
        preview.preview.show();
        const int wide = preview.preview.height();
        QCOMPARE(preview.preview.heightForWidth(150), wide);
        QSignalSpy sizes(preview.preview.document().documentLayout(),
                         &QAbstractTextDocumentLayout::documentSizeChanged);
        QCOMPARE(sizes.count(), 0);
        preview.preview.resize(150, wide);
        QVERIFY(preview.preview.heightForWidth(150) > wide);
        QCOMPARE(previewLines(preview.preview), previewLines(FreshPreview(text, 150).preview));
    }

    // As a selectable label: a drag selects, the context menu and the copy key copy the
    // characters.
    void aDragSelectsAndTheMenuCopies() {
        FreshPreview preview(u"first \U0001D5EF line\nsecond line"_s, 300);
        preview.preview.show();
        preview.preview.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&preview.preview));
        const int middle = preview.preview.fontMetrics().height() / 2;
        QTest::mousePress(&preview.preview, Qt::LeftButton, {}, QPoint(0, middle));
        QTest::mouseMove(&preview.preview, QPoint(299, 3 * middle));
        QTest::mouseRelease(&preview.preview, Qt::LeftButton, {}, QPoint(299, 3 * middle));
        const QString selected = u"first \U0001D5EF line\nsecond line"_s;
        // The click took the focus, so the copy key reaches it.
        QVERIFY(preview.preview.hasFocus());
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&preview.preview, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), selected);

        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(0, this, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->actions().first()->trigger();
            menu->close();
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, middle),
                                preview.preview.mapToGlobal(QPoint(5, middle)));
        QApplication::sendEvent(&preview.preview, &click);
        QCOMPARE(QGuiApplication::clipboard()->text(), selected);
    }

    void aScreenReaderReadsTheText() {
        FreshPreview preview(u"Hello \U0001F680"_s, 300);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&preview.preview);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::StaticText);
        QCOMPARE(accessible->text(QAccessible::Name), u"Hello \U0001F680"_s);
        preview.preview.setText(u"Changed"_s);
        QCOMPARE(accessible->text(QAccessible::Name), u"Changed"_s);
    }
};

QTEST_MAIN(TestPreviewText)
#include "tst_previewtext.moc"
