#include "ui/drafts/DraftsView.h"
#include "ui/editor/EditorView.h"
#include "ui/kit/EmptyStateView.h"
#include "ui/tests/AppFixture.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/window/FeedbackButton.h"

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// The part of `image` whose colour differs clearly from the colour at `reference`.
QRect inkBounds(const QImage& image, const QPoint& reference) {
    const QColor background = image.pixelColor(reference);
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int difference = qAbs(c.red() - background.red()) +
                                   qAbs(c.green() - background.green()) +
                                   qAbs(c.blue() - background.blue());
            if (difference > 120) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

} // namespace

// Every screen at a device pixel ratio of 2, as on a 4K screen or with QT_SCALE_FACTOR=2: a
// symbol drawn for the wrong ratio lands at half size in the top-left of its box.
class TestHighDpi : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    void symbolsAreCentredAndFullSize_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("symbolPoints");
        QTest::newRow("back") << u"backToDraftsButton"_s << 17;
        QTest::newRow("bullets") << u"formatBullets"_s << 18;
        QTest::newRow("numbered") << u"formatNumbered"_s << 18;
        QTest::newRow("clear text") << u"clearPostButton"_s << 14;
        QTest::newRow("delete draft") << u"deleteDraftButton"_s << 13;
        QTest::newRow("feedback") << u"feedbackButton"_s << 20;
        QTest::newRow("empty state") << u"emptyState"_s << 44;
    }
    void symbolsAreCentredAndFullSize() {
        QFETCH(QString, control);
        QFETCH(int, symbolPoints);
        AppFixture app;
        app.drafts().setEditorText(u"text, so the clear button shows"_s);
        app.drafts().saveDraft();
        EditorView editor(app.drafts(), app.session(), app.container.postFlow(), {},
                          [](AppTelemetryEvent) {});
        DraftsView drafts(app.drafts(), {});
        FeedbackButton feedback;
        feedback.setObjectName(u"feedbackButton"_s);
        EmptyStateView empty(Symbol::docText, u"No drafts"_s, u"Saved drafts appear here."_s);
        empty.setObjectName(u"emptyState"_s);
        QWidget* widget = nullptr;
        for (QWidget* top : std::initializer_list<QWidget*>{&editor, &drafts, &feedback, &empty}) {
            top->resize(top->sizeHint().expandedTo(QSize(400, 300)));
            top->show();
            if (!widget) {
                widget = top->objectName() == control ? top : top->findChild<QWidget*>(control);
            }
        }
        QVERIFY(widget);
        QVERIFY(QTest::qWaitForWindowExposed(widget->window()));

        const QPixmap grab = widget->grab();
        QCOMPARE(grab.devicePixelRatio(), 2.0);
        const QImage image = grab.toImage();
        // The background: a corner of the box, or for the round button a spot inside it.
        const QPoint reference =
            control == u"feedbackButton" ? QPoint(image.width() / 2, 8) : QPoint(1, 1);
        QRect ink = inkBounds(image, reference);
        if (control == u"emptyState") {
            // Only the symbol: the title and the description lie below it.
            ink = inkBounds(image.copy(0, 0, image.width(), ink.top() + 2 * symbolPoints * 2),
                            reference);
            ink.setHeight(qMin(ink.height(), 2 * symbolPoints));
        }
        QVERIFY2(!ink.isEmpty(), "nothing drawn");
        const int expected = 2 * symbolPoints;
        QVERIFY2(qMax(ink.width(), ink.height()) >= expected * 0.55,
                 qPrintable(u"symbol %1 x %2 device pixels, box %3"_s.arg(ink.width())
                                .arg(ink.height())
                                .arg(expected)));
        const qreal offCentre = QRectF(ink).center().x() - image.width() / 2.0;
        QVERIFY2(qAbs(offCentre) <= 3, qPrintable(u"%1 pixels off centre"_s.arg(offCentre)));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
