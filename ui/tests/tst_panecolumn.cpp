#include "core/storage/LinkedInSessionStore.h"
#include "ui/account/AccountDetailView.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/kit/ScrollPane.h"
#include "ui/tests/AppFixture.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using Section = MainSplitView::Section;

namespace {

// Where `widget` ends on the right, in the coordinates of its window.
int rightEdge(const QWidget* widget) {
    return widget->mapTo(widget->window(), QPoint(widget->width(), 0)).x();
}

int leftEdge(const QWidget* widget) {
    return widget->mapTo(widget->window(), QPoint(0, 0)).x();
}

void settle() {
    // Layouts and the scroll bar's showing follow posted layout requests.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Enough lines to make any page taller than the largest window below.
QString manyLines() {
    QStringList lines;
    for (int i = 1; i <= 80; ++i) {
        lines.append(u"Line %1"_s.arg(i));
    }
    return lines.join(u'\n');
}

} // namespace

// The page's cards and the buttons of the bar under it share one column: the same left and
// right edges whether the page scrolls or not, in the smallest window and in a large one.
class TestPaneColumn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theBottomBarEndsWhereTheCardsEnd_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<bool>("scrolls");
        const QSize minimum(720, 500);
        const QSize large(1600, 960);
        QTest::newRow("editor, minimum, scrolling") << u"editor"_s << minimum << true;
        QTest::newRow("editor, large, scrolling") << u"editor"_s << large << true;
        QTest::newRow("editor, large, not scrolling") << u"editor"_s << large << false;
        QTest::newRow("account, minimum, scrolling") << u"account"_s << minimum << true;
        QTest::newRow("account, minimum, not scrolling") << u"account"_s << minimum << false;
        QTest::newRow("account, large, scrolling") << u"account"_s << large << true;
        QTest::newRow("account, large, not scrolling") << u"account"_s << large << false;
    }
    void theBottomBarEndsWhereTheCardsEnd() {
        QFETCH(QString, screen);
        QFETCH(QSize, windowSize);
        QFETCH(bool, scrolls);
        AppFixture app;
        app.session().save(tokenFor(u"m1"_s, u"Ada Demo"_s, u"Founder"_s));
        MainWindow window(app.container);
        window.resize(windowSize);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), windowSize);
        auto* root = qobject_cast<MainSplitView*>(window.centralWidget());
        QVERIFY(root);

        QWidget* card = nullptr;
        QList<QAbstractButton*> buttons;
        ScrollPane* pane = nullptr;
        if (screen == u"editor") {
            // The preview grows with the post; a short one leaves the large window room.
            app.drafts().setEditorText(scrolls ? manyLines() : u"A short post"_s);
            QWidget* editor = root->currentPane();
            pane = editor->findChild<ScrollPane*>(u"editorPage"_s);
            card = editor->findChild<QWidget*>(u"editorCard"_s);
            buttons = {editor->findChild<QAbstractButton*>(u"saveDraftButton"_s),
                       editor->findChild<QAbstractButton*>(u"postButton"_s)};
        } else {
            root->selectSection(Section::settings);
            auto* settings = qobject_cast<AccountSettingsView*>(root->currentPane());
            QVERIFY(settings);
            QTest::mouseClick(settings->findChild<QAbstractButton*>(u"accountButton"_s),
                              Qt::LeftButton);
            AccountDetailView* page = settings->accountPage();
            QVERIFY(page);
            if (scrolls) {
                // A status of many lines under the card.
                app.session().setStatusMessage(manyLines());
            }
            pane = page->findChild<ScrollPane*>();
            card = page->findChild<QWidget*>(u"accountCard"_s);
            buttons = {page->findChild<QAbstractButton*>(u"deleteAccountButton"_s)};
        }
        settle();
        QVERIFY(pane && card);
        QCOMPARE(pane->verticalScrollBar()->isVisible(), scrolls);
        QVERIFY(card->isVisible());
        for (QAbstractButton* button : buttons) {
            QVERIFY(button && button->isVisible());
            QCOMPARE(rightEdge(button), rightEdge(card));
            QCOMPARE(leftEdge(button), leftEdge(card));
        }
        // The column keeps the standard padding clear of a scroll bar, shown or not.
        QCOMPARE(rightEdge(pane) - rightEdge(card),
                 16 + pane->verticalScrollBar()->sizeHint().width());
    }
};

QTEST_MAIN(TestPaneColumn)
#include "tst_panecolumn.moc"
