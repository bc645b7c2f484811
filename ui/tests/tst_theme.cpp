#include "ui/theme/Theme.h"

#include <QTest>

using quillon::Theme::withOpacity;
namespace Theme = quillon::Theme;

class TestTheme : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void colours_data();
    void colours();
    void secondaryInkIsInkAtOpacity();
};

void TestTheme::colours_data() {
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("red");
    QTest::addColumn<double>("green");
    QTest::addColumn<double>("blue");
    QTest::addColumn<double>("opacity");

    QTest::newRow("ink") << Theme::ink() << 0.067 << 0.071 << 0.059 << 1.0;
    QTest::newRow("secondary ink") << Theme::secondaryInk() << 0.067 << 0.071 << 0.059 << 0.58;
    QTest::newRow("background") << Theme::background() << 0.949 << 0.941 << 0.91 << 1.0;
    QTest::newRow("card") << Theme::card() << 1.0 << 0.992 << 0.969 << 1.0;
    QTest::newRow("accent") << Theme::accent() << 1.0 << 0.373 << 0.239 << 1.0;
    QTest::newRow("lime") << Theme::lime() << 0.788 << 0.973 << 0.416 << 1.0;
    QTest::newRow("editor ink") << Theme::inkNSColor() << 0.067 << 0.071 << 0.059 << 1.0;
    QTest::newRow("hairline") << Theme::hairline() << 0.067 << 0.071 << 0.059 << 0.12;
    QTest::newRow("rgb") << Theme::rgb(0.25, 0.5, 0.75) << 0.25 << 0.5 << 0.75 << 1.0;
}

void TestTheme::colours() {
    QFETCH(QColor, colour);
    QFETCH(double, red);
    QFETCH(double, green);
    QFETCH(double, blue);
    QFETCH(double, opacity);
    // QColor keeps 16 bits a component.
    const double step = 1.0 / 65535;
    QCOMPARE(colour.spec(), QColor::Rgb);
    QVERIFY(qAbs(colour.redF() - red) <= step);
    QVERIFY(qAbs(colour.greenF() - green) <= step);
    QVERIFY(qAbs(colour.blueF() - blue) <= step);
    QVERIFY(qAbs(colour.alphaF() - opacity) <= step);
}

void TestTheme::secondaryInkIsInkAtOpacity() {
    QCOMPARE(Theme::secondaryInk(), withOpacity(Theme::ink(), 0.58));
}

QTEST_APPLESS_MAIN(TestTheme)
#include "tst_theme.moc"
