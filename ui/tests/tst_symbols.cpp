#include "ui/theme/Symbols.h"

#include <QTest>

using namespace Qt::StringLiterals;
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

    void symbolsFillTheirBoxAtEveryRatio_data() {
        QTest::addColumn<Symbol>("symbol");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("pixels");
        const std::pair<const char*, Symbol> symbols[] = {{"chart", Symbol::chartLineUptrend},
                                                          {"document", Symbol::docText},
                                                          {"pencil", Symbol::squareAndPencil},
                                                          {"gear", Symbol::gearshape},
                                                          {"bug", Symbol::ladybug},
                                                          {"cross", Symbol::xmark},
                                                          {"chevron", Symbol::chevronLeft},
                                                          {"bullets", Symbol::listBullet},
                                                          {"numbers", Symbol::listNumber}};
        // 20 points at each ratio: 20, 25, 30 and 40 pixels.
        const std::pair<qreal, int> ratios[] = {{1.0, 20}, {1.25, 25}, {1.5, 30}, {2.0, 40}};
        for (const auto& [name, symbol] : symbols) {
            for (const auto& [ratio, pixels] : ratios) {
                QTest::addRow("%s at %g", name, ratio) << symbol << ratio << pixels;
            }
        }
    }
    void symbolsFillTheirBoxAtEveryRatio() {
        QFETCH(Symbol, symbol);
        QFETCH(qreal, ratio);
        QFETCH(int, pixels);
        const QPixmap drawn = symbolPixmap(symbol, Qt::black, 20, ratio);
        const QPixmap fromIcon = tintedSymbolIcon(symbol, Qt::black).pixmap(QSize(20, 20), ratio);
        for (const QPixmap& pixmap : {drawn, fromIcon}) {
            QCOMPARE(pixmap.size(), QSize(pixels, pixels));
            QCOMPARE(pixmap.devicePixelRatio(), ratio);
            // Centred and filling most of the box, not shrunk into a corner.
            const QRect ink = inkBounds(pixmap.toImage());
            QVERIFY2(ink.width() >= pixels / 2 || ink.height() >= pixels / 2,
                     qPrintable(u"ink %1 x %2"_s.arg(ink.width()).arg(ink.height())));
            const QPointF offCentre = QRectF(ink).center() - QPointF(pixels / 2.0, pixels / 2.0);
            QVERIFY2(qAbs(offCentre.x()) <= pixels * 0.15 && qAbs(offCentre.y()) <= pixels * 0.15,
                     qPrintable(u"off centre by %1, %2"_s.arg(offCentre.x()).arg(offCentre.y())));
        }
    }

    void aDisabledIconFades() {
        const QIcon icon = tintedSymbolIcon(Symbol::xmark, Qt::black);
        const QImage normal = icon.pixmap(QSize(20, 20), 1.0).toImage();
        const QImage disabled = icon.pixmap(QSize(20, 20), 1.0, QIcon::Disabled).toImage();
        const QPoint inked = inkBounds(normal).center();
        QVERIFY(normal.pixelColor(inked).alpha() > 200);
        QVERIFY(disabled.pixelColor(inked).alpha() < 120);
    }

private:
    static QRect inkBounds(const QImage& image) {
        QRect bounds;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).alpha() > 64) {
                    bounds |= QRect(x, y, 1, 1);
                }
            }
        }
        return bounds;
    }
};

QTEST_MAIN(TestSymbols)
#include "tst_symbols.moc"
