#include "ui/theme/Typography.h"

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

// A line of what posts hold: styled letters, combining marks, emoji, accents, other scripts.
QImage drawn(const QFont& font) {
    QImage image(640, 40, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignVCenter,
                     QString::fromUtf8("Plain \U0001D5D5\U0001D5FC\U0001D5F9\U0001D5F1 "
                                       "s\u0336t\u0336 u\u0332 \U0001F600 \u00E9 \u00DF "
                                       "\u2713 \u05E2\u05D1 \u0639\u0631"));
    return image;
}

} // namespace

// The text styles follow the desktop's text size: the body is the desktop's own size and the
// other styles keep their proportions to it.
class TestTypography : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stylesFollowTheDesktopSize_data() {
        QTest::addColumn<qreal>("desktopPoints");
        QTest::addColumn<TextStyle>("style");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<int>("weight");
        QTest::newRow("10 pt body") << 10.0 << TextStyle::body << 10.0 << int(QFont::Normal);
        QTest::newRow("10 pt caption")
            << 10.0 << TextStyle::caption << 7.6923 << int(QFont::Normal);
        QTest::newRow("10 pt subheadline")
            << 10.0 << TextStyle::subheadline << 8.4615 << int(QFont::Normal);
        QTest::newRow("10 pt headline") << 10.0 << TextStyle::headline << 10.0 << int(QFont::Bold);
        QTest::newRow("10 pt title3") << 10.0 << TextStyle::title3 << 11.5385 << int(QFont::Normal);
        QTest::newRow("10 pt title2") << 10.0 << TextStyle::title2 << 13.0769 << int(QFont::Normal);
        QTest::newRow("large text, 16 pt body")
            << 16.0 << TextStyle::body << 16.0 << int(QFont::Normal);
        QTest::newRow("large text, 16 pt title2")
            << 16.0 << TextStyle::title2 << 20.9231 << int(QFont::Normal);
    }
    void stylesFollowTheDesktopSize() {
        QFETCH(qreal, desktopPoints);
        QFETCH(TextStyle, style);
        QFETCH(qreal, points);
        QFETCH(int, weight);
        QFont desktop = QApplication::font();
        desktop.setPointSizeF(desktopPoints);
        QApplication::setFont(desktop);
        const QFont result = font(style);
        QVERIFY2(qAbs(result.pointSizeF() - points) < 0.01,
                 qPrintable(QString::number(result.pointSizeF())));
        QCOMPARE(int(result.weight()), weight);
        QCOMPARE(result.family(), desktop.family());
    }

    void aDesktopSizeInPixelsIsFollowedToo() {
        QFont desktop = QApplication::font();
        desktop.setPixelSize(26);
        QApplication::setFont(desktop);
        QCOMPARE(font(TextStyle::body).pixelSize(), 26);
        QCOMPARE(font(TextStyle::caption).pixelSize(), 20);
        QCOMPARE(fontOfSize(18, QFont::Medium).pixelSize(), 36);
        QCOMPARE(fontOfSize(18, QFont::Medium).weight(), QFont::Medium);
    }

    void aGenericDesktopFamilyIsNamedByTheFamilyThatDrawsIt_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("renamed");
        QTest::newRow("the toolkit's default") << u"Sans Serif"_s << true;
        QTest::newRow("fontconfig's name") << u"sans-serif"_s << true;
        // Renamed, it would draw some scripts and emoji from other fonts.
        QTest::newRow("monospace") << u"Monospace"_s << false;
        QTest::newRow("a real family") << u"DejaVu Sans"_s << false;
    }
    void aGenericDesktopFamilyIsNamedByTheFamilyThatDrawsIt() {
        QFETCH(QString, family);
        QFETCH(bool, renamed);
        QFont desktop = QApplication::font();
        desktop.setFamily(family);
        desktop.setPointSizeF(9);
        QApplication::setFont(desktop);
        const QString drawnBy = QFontInfo(desktop).family();
        const QImage before = drawn(QApplication::font());

        resolveGenericDesktopFontFamily();
        QCOMPARE(QApplication::font().family(), renamed ? drawnBy : family);
        QCOMPARE(QApplication::font().pointSizeF(), 9.0);
        QCOMPARE(drawn(QApplication::font()), before);
    }
};

QTEST_MAIN(TestTypography)
#include "tst_typography.moc"
