#include "ui/editor/FormatTransforms.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QGlyphRun>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTextLayout>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::formatting;

namespace {

const QString letters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s;
const QString digits = u"0123456789"_s;

// Does an installed font draw `cluster`? The font fallback leaves what none draws on glyph 0,
// the empty box.
bool drawn(const QString& cluster, const QFont& font) {
    QTextLayout layout(cluster, font);
    layout.beginLayout();
    while (layout.createLine().isValid()) {
    }
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        if (run.glyphIndexes().contains(0u)) {
            return false;
        }
    }
    return true;
}

// The grapheme clusters of `text` that show as boxes, one a line.
QString boxes(const QString& text, const QFont& font) {
    QString missing;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype start = 0, end = clusters.toNextBoundary(); end > 0;
         start = end, end = clusters.toNextBoundary()) {
        const QString cluster = text.mid(start, end - start);
        if (!drawn(cluster, font)) {
            missing += cluster + u" (U+"_s +
                       QString::number(cluster.toUcs4().value(0), 16).toUpper() + u")\n"_s;
        }
    }
    return missing;
}

} // namespace

// A post's look lives in its characters, so the machine must have fonts that draw them: on a
// machine without, formatted text and emoji show as empty boxes in the editor and the preview.
class TestPostGlyphs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formattedTextIsDrawn_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << letters + digits;
        QTest::newRow("bold letters and digits")
            << styledText(letters + digits, boldCapitalBase, boldSmallBase, boldDigitBase);
        QTest::newRow("italic letters")
            << styledText(letters, italicCapitalBase, italicSmallBase, std::nullopt);
        QTest::newRow("strikethrough") << appendingCombiningMark(letters, strikethroughMark);
        QTest::newRow("underline") << appendingCombiningMark(letters, underlineMark);
        QTest::newRow("lists") << bulletLines({u"one\n", u"two"}) + numberLines({u"one\n", u"two"});
        QTest::newRow("emoji") << u"\U0001F680\U0001F44D\U0001F389\u2764\uFE0F"_s;
    }
    void formattedTextIsDrawn() {
        QFETCH(QString, text);
        const QString missing = boxes(text, quillon::font(TextStyle::body));
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }
};

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TestPostGlyphs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_postglyphs.moc"
