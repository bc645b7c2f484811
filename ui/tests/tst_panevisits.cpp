// A pane is built afresh at each visit to its section. The style keeps what it draws of a scroll
// bar under the cache key of the bar's palette, and every palette set on a widget has a key of
// its own: a pane whose scroll bars took a palette of their own would add drawings to that cache
// at every visit until the cache is full. They draw with the window's palette instead, on the same
// page, and the pane left behind is deleted.
#include "ui/kit/ScrollPane.h"
#include "ui/tests/AppFixture.h"
#include "ui/theme/Theme.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/MainWindow.h"

#include <QPointer>
#include <QScrollBar>
#include <QTest>

using namespace quillon;
using namespace quillon::testing;
using Section = MainSplitView::Section;

namespace {

// The scroll bars of the pane's scrolling pages; the editor's own stay hidden as it grows.
QList<qint64> scrollBarPaletteKeys(const QWidget* pane) {
    QList<qint64> keys;
    for (const ScrollPane* page : pane->findChildren<ScrollPane*>()) {
        keys.append(page->verticalScrollBar()->palette().cacheKey());
    }
    return keys;
}

} // namespace

class TestPaneVisits : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scrollBarsDrawAsThoseOfTheVisitBefore_data() {
        QTest::addColumn<Section>("section");
        QTest::newRow("Insights") << Section::insights;
        QTest::newRow("Drafts") << Section::drafts;
        QTest::newRow("Editor") << Section::editor;
        QTest::newRow("Settings") << Section::settings;
    }

    void scrollBarsDrawAsThoseOfTheVisitBefore() {
        QFETCH(Section, section);
        AppFixture app;
        MainWindow window(app.container);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* split = window.findChild<MainSplitView*>();
        QVERIFY(split);
        const Section elsewhere =
            section == Section::insights ? Section::drafts : Section::insights;

        split->selectSection(elsewhere);
        split->selectSection(section);
        const QPointer<QWidget> first = split->currentPane();
        const QList<qint64> firstKeys = scrollBarPaletteKeys(first);
        QVERIFY(!firstKeys.isEmpty());
        split->selectSection(elsewhere);
        split->selectSection(section);
        QVERIFY(split->currentPane() != first.data());
        QCOMPARE(scrollBarPaletteKeys(split->currentPane()), firstKeys);
        // And the pane left goes once the event loop runs.
        QVERIFY(first);
        QTRY_VERIFY(!first);

        // Still the page's colour, behind the content and in the bars' edges.
        const QList<ScrollPane*> scrollPanes = split->currentPane()->findChildren<ScrollPane*>();
        QVERIFY(!scrollPanes.isEmpty());
        for (const ScrollPane* pane : scrollPanes) {
            QCOMPARE(pane->viewport()->palette().color(QPalette::Window), Theme::background());
            QCOMPARE(pane->content()->palette().color(QPalette::Window), Theme::background());
            QCOMPARE(pane->verticalScrollBar()->palette().color(QPalette::Window),
                     Theme::background());
        }
    }
};

QTEST_MAIN(TestPaneVisits)
#include "tst_panevisits.moc"
