#include "ui/kit/Symbols.h"

#include <QTest>

using namespace quillon;

// The screens' symbols come from the installed icon themes; a missing one would fall back
// to a text glyph.
class TestSymbols : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everySymbolHasAnIcon_data() {
        QTest::addColumn<Symbol>("symbol");
        QTest::newRow("chart") << Symbol::chartLineUptrend;
        QTest::newRow("document") << Symbol::docText;
        QTest::newRow("pencil") << Symbol::squareAndPencil;
        QTest::newRow("gear") << Symbol::gearshape;
        QTest::newRow("bug") << Symbol::ladybug;
        QTest::newRow("cross") << Symbol::xmark;
        QTest::newRow("chevron") << Symbol::chevronLeft;
        QTest::newRow("bullets") << Symbol::listBullet;
        QTest::newRow("numbers") << Symbol::listNumber;
        QTest::newRow("people") << Symbol::person2;
        QTest::newRow("menu") << Symbol::line3Horizontal;
        QTest::newRow("photo") << Symbol::photoOnRectangle;
    }
    void everySymbolHasAnIcon() {
        QFETCH(Symbol, symbol);
        QVERIFY(!symbolIcon(symbol).isNull());
    }

    void aSymbolIsDrawnInOneColour() {
        const QImage image = symbolPixmap(Symbol::xmark, QColor(255, 0, 0), 20)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(20, 20));
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 0) {
                    ++inked;
                    QCOMPARE(c.red(), 255);
                    QCOMPARE(c.green(), 0);
                    QCOMPARE(c.blue(), 0);
                }
            }
        }
        QVERIFY(inked > 20);
    }
};

QTEST_MAIN(TestSymbols)
#include "tst_symbols.moc"
