#include "ui/kit/ActionButton.h"
#include "ui/kit/PrimaryButton.h"
#include "ui/kit/SecondaryButton.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;
using quillon::ActionButton;

namespace {

enum class Kind { primary, secondary };

// Over a black page, so a see-through fill shows as a darker colour.
struct Page {
    QWidget widget;
    ActionButton* button = nullptr;

    explicit Page(Kind kind) {
        QPalette black = widget.palette();
        black.setColor(QPalette::Window, Qt::black);
        widget.setPalette(black);
        widget.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        if (kind == Kind::primary) {
            button = new quillon::PrimaryButton(u"Go"_s);
        } else {
            button = new quillon::SecondaryButton(u"Go"_s);
        }
        layout->addWidget(button);
        layout->addStretch();
        widget.resize(400, 200);
        widget.show();
    }

    QColor pixel(QPoint at) {
        return widget.grab().toImage().pixelColor(button->mapTo(&widget, at));
    }
};

bool near(const QColor& actual, const QColor& expected) {
    return std::abs(actual.red() - expected.red()) <= 3 &&
           std::abs(actual.green() - expected.green()) <= 3 &&
           std::abs(actual.blue() - expected.blue()) <= 3;
}

} // namespace

class TestActionButton : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fillsTheWidthWithPaddedHeadline_data();
    void fillsTheWidthWithPaddedHeadline();
    void paints_data();
    void paints();
};

void TestActionButton::fillsTheWidthWithPaddedHeadline_data() {
    QTest::addColumn<Kind>("kind");
    QTest::newRow("primary") << Kind::primary;
    QTest::newRow("secondary") << Kind::secondary;
}

void TestActionButton::fillsTheWidthWithPaddedHeadline() {
    QFETCH(Kind, kind);
    Page page(kind);
    QVERIFY(QTest::qWaitForWindowExposed(&page.widget));
    QCOMPARE(page.button->font(), quillon::font(quillon::TextStyle::headline));
    QCOMPARE(page.button->width(), 400);
    QCOMPARE(page.button->height(), QFontMetrics(page.button->font()).height() + 28);
}

void TestActionButton::paints_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("topEdge");

    // Lime is (201, 248, 106) and card (255, 253, 247) in 8 bits; pressed, 0.7 of them shows
    // over black. The secondary's top row is half covered by ink (17, 18, 15) at 0.2.
    QTest::newRow("primary") << Kind::primary << false << QColor(201, 248, 106)
                             << QColor(201, 248, 106);
    QTest::newRow("primary pressed")
        << Kind::primary << true << QColor(141, 174, 74) << QColor(141, 174, 74);
    QTest::newRow("secondary") << Kind::secondary << false << QColor(255, 253, 247)
                               << QColor(231, 229, 224);
    QTest::newRow("secondary pressed")
        << Kind::secondary << true << QColor(179, 178, 173) << QColor(163, 162, 157);
}

void TestActionButton::paints() {
    QFETCH(Kind, kind);
    QFETCH(bool, pressed);
    QFETCH(QColor, fill);
    QFETCH(QColor, topEdge);

    Page page(kind);
    QVERIFY(QTest::qWaitForWindowExposed(&page.widget));
    if (pressed) {
        QTest::mousePress(page.button, Qt::LeftButton);
        QVERIFY(page.button->isDown());
    }
    const int middle = page.button->height() / 2;
    const QColor inside = page.pixel({20, middle});
    QVERIFY2(near(inside, fill), qPrintable(inside.name()));
    const QColor edge = page.pixel({page.button->width() / 2, 0});
    QVERIFY2(near(edge, topEdge), qPrintable(edge.name()));
    // The rounded corner leaves the page showing.
    QCOMPARE(page.pixel({0, 0}), QColor(Qt::black));

    if (pressed) {
        QTest::mouseRelease(page.button, Qt::LeftButton);
        const QColor released = page.pixel({20, middle});
        QVERIFY2(
            near(released, kind == Kind::primary ? QColor(201, 248, 106) : QColor(255, 253, 247)),
            qPrintable(released.name()));
    }
}

QTEST_MAIN(TestActionButton)
#include "tst_actionbutton.moc"
