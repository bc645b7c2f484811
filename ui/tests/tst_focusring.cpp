#include "ui/kit/FocusRing.h"
#include "ui/theme/FocusFreeStyle.h"
#include "ui/theme/Theme.h"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;
using namespace quillon;

namespace {

// WCAG 2's relative luminance and contrast ratio of two opaque sRGB colours.
double luminance(const QColor& color) {
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A window with a text field and two buttons, active, the ring watching.
struct Window {
    QWidget window;
    QLineEdit* field = new QLineEdit;
    QPushButton* first = new QPushButton(u"First"_s);
    QPushButton* second = new QPushButton(u"Second"_s);

    Window() {
        FocusRing::install();
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(first);
        layout->addWidget(second);
        window.resize(400, 80);
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowActive(&window)) {
            qFatal("the test window did not become active");
        }
    }
    FocusRing* ring() const { return window.findChild<FocusRing*>(); }
};

} // namespace

class TestFocusRing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsForTheKeyboardOnly_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("shown");
        QTest::newRow("Tab") << u"click"_s << int(Qt::TabFocusReason) << true;
        QTest::newRow("Shift+Tab") << u"click"_s << int(Qt::BacktabFocusReason) << true;
        QTest::newRow("mnemonic") << u"click"_s << int(Qt::ShortcutFocusReason) << true;
        QTest::newRow("click") << u"key"_s << int(Qt::MouseFocusReason) << false;
        QTest::newRow("moved after a key") << u"key"_s << int(Qt::OtherFocusReason) << true;
        QTest::newRow("moved after a click") << u"click"_s << int(Qt::OtherFocusReason) << false;
    }
    void showsForTheKeyboardOnly() {
        QFETCH(QString, before);
        QFETCH(int, reason);
        QFETCH(bool, shown);
        Window w;
        if (before == u"key") {
            w.first->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w.first, Qt::Key_Left);
        } else {
            QTest::mouseClick(w.first, Qt::LeftButton);
        }
        w.second->setFocus(Qt::FocusReason(reason));
        QCOMPARE(FocusRing::ringedWidget(), shown ? w.second : nullptr);
        QCOMPARE(w.ring() && w.ring()->isVisible(), shown);
        if (shown) {
            // Just outside the control, all the way round.
            const QRect control = w.second->geometry();
            constexpr int outset = FocusRing::gap + FocusRing::width;
            QCOMPARE(w.ring()->geometry(), control.adjusted(-outset, -outset, outset, outset));
        }
    }

    // Over the control, the ring is no part of what a screen reader finds there.
    void isHiddenFromScreenReaders() {
        Window w;
        w.second->setFocus(Qt::TabFocusReason);
        QVERIFY(w.ring()->isVisible());
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&w.window);
        for (int i = 0; i < window->childCount(); ++i) {
            QVERIFY(window->child(i)->object() != w.ring());
        }
        const QPoint middle = w.second->mapToGlobal(w.second->rect().center());
        QCOMPARE(window->childAt(middle.x(), middle.y())->object(), w.second);
    }

    void aKeyOnAClickedControlShowsIt() {
        Window w;
        QTest::mouseClick(w.first, Qt::LeftButton);
        QCOMPARE(FocusRing::ringedWidget(), nullptr);
        QTest::keyClick(w.first, Qt::Key_Escape);
        QCOMPARE(FocusRing::ringedWidget(), w.first);
        // A click on it again puts the ring away.
        QTest::mouseClick(w.first, Qt::LeftButton);
        QCOMPARE(FocusRing::ringedWidget(), nullptr);
    }

    void typingInAClickedFieldDoesNot() {
        Window w;
        QTest::mouseClick(w.field, Qt::LeftButton);
        QTest::keyClicks(w.field, u"words"_s);
        QCOMPARE(w.field->text(), u"words"_s);
        QCOMPARE(FocusRing::ringedWidget(), nullptr);
    }

    void leavesWithTheWindowAndComesBack() {
        Window w;
        w.first->setFocus(Qt::TabFocusReason);
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!w.ring()->isVisible());
        QApplication::setActiveWindow(&w.window);
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(FocusRing::ringedWidget(), w.first);
        QVERIFY(w.ring()->isVisible());
    }

    void followsItsControl() {
        Window w;
        w.second->setFocus(Qt::TabFocusReason);
        w.window.resize(600, 120);
        QTRY_COMPARE(w.ring()->geometry().center(), w.second->geometry().center());
        // Hidden, it hands the focus on, and the ring goes with it.
        w.second->hide();
        QVERIFY(QApplication::focusWidget() != w.second);
        QCOMPARE(FocusRing::ringedWidget(), QApplication::focusWidget());
        QVERIFY(!w.ring()->geometry().intersects(w.second->geometry()));
    }

    // WCAG 2.2's focus appearance: at least 3:1 against what lies around the control.
    void standsOutFromEveryBackground_data() {
        QTest::addColumn<QColor>("background");
        QTest::newRow("page") << Theme::background();
        QTest::newRow("card") << Theme::card();
        QTest::newRow("white strip") << QColor(Qt::white);
        QTest::newRow("accent fill") << Theme::accent();
        QTest::newRow("lime selection") << Theme::lime();
    }
    void standsOutFromEveryBackground() {
        QFETCH(QColor, background);
        QVERIFY2(contrast(FocusRing::color(), background) >= 3.0,
                 qPrintable(QString::number(contrast(FocusRing::color(), background))));
    }
    // What the old rings were drawn in.
    void thePaleRingsDidNot() {
        QVERIFY(contrast(Theme::lime(), Theme::card()) < 3.0);
        QVERIFY(contrast(Theme::accent(), Theme::card()) < 3.0);
    }

    // Its straight edges cover whole device pixels, at 1x and at 2x: no blurred half pixel.
    void isCrispAtEveryScale_data() {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("2x") << 2.0;
    }
    void isCrispAtEveryScale() {
        QFETCH(qreal, ratio);
        Window w;
        w.second->setFocus(Qt::TabFocusReason);
        QPixmap picture(w.ring()->size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        w.ring()->render(&picture, QPoint(), QRegion(), QWidget::RenderFlags());
        const QImage image = picture.toImage();
        const int column = image.width() / 2;
        const int band = int(FocusRing::width * ratio);
        for (int y = 0; y < band; ++y) {
            QCOMPARE(qAlpha(image.pixel(column, y)), 255);
        }
        QCOMPARE(qAlpha(image.pixel(column, band)), 0);
        QCOMPARE(QColor(image.pixel(column, 0)).rgb(), FocusRing::color().rgb());
    }

    // The style draws no focus marks of its own beside the ring.
    void theStyleMarksNoFocus() {
        QApplication::setStyle(new FocusFreeStyle);
        Window w;
        // Read-only: a focused field would otherwise differ by its caret.
        w.field->setReadOnly(true);
        for (QWidget* control : {static_cast<QWidget*>(w.field), static_cast<QWidget*>(w.second)}) {
            w.first->setFocus(Qt::MouseFocusReason);
            const QImage unfocused = control->grab().toImage();
            control->setFocus(Qt::TabFocusReason);
            QVERIFY(control->hasFocus());
            QCOMPARE(control->grab().toImage(), unfocused);
        }

        QImage frame(40, 20, QImage::Format_ARGB32);
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        QStyleOptionFocusRect option;
        option.rect = frame.rect();
        option.state = QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter);
        painter.end();
        QImage empty(40, 20, QImage::Format_ARGB32);
        empty.fill(Qt::transparent);
        QCOMPARE(frame, empty);
    }
};

QTEST_MAIN(TestFocusRing)
#include "tst_focusring.moc"
