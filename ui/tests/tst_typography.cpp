#include "ui/theme/Typography.h"

#include <QApplication>
#include <QTest>

using namespace quillon;

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
};

QTEST_MAIN(TestTypography)
#include "tst_typography.moc"
