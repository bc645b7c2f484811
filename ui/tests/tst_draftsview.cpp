#include "ui/drafts/DateTimeText.h"
#include "ui/drafts/DraftsView.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/EmptyStateView.h"
#include "ui/tests/AppFixture.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

// The pane over the app's store, counting how often it asked the window to show the editor.
struct Pane {
    AppFixture app;
    int opened = 0;
    DraftsView view{app.drafts(), [this] { ++opened; }};

    Pane() { view.resize(640, 800); }

    // Saves each body as a draft of its own through the store, oldest first.
    void save(const QStringList& texts) {
        for (const QString& text : texts) {
            app.drafts().setEditorText(text);
            app.drafts().saveDraft();
            app.drafts().resetEditor();
        }
    }
    QList<QWidget*> rows() const { return view.findChildren<QWidget*>(u"draftRow"_s); }
    QList<QWidget*> visible(const QString& name) const {
        QList<QWidget*> result;
        for (QWidget* w : view.findChildren<QWidget*>(name)) {
            if (!w->isHidden() && w->parentWidget() && !w->parentWidget()->isHidden()) {
                result.append(w);
            }
        }
        return result;
    }
    QStringList titles() const {
        QStringList result;
        for (QWidget* row : visible(u"draftRow"_s)) {
            result.append(row->findChild<QLabel*>(u"draftTitle"_s)->text());
        }
        return result;
    }
};

} // namespace

class TestDraftsView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        qputenv("TZ", "UTC");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void withoutDraftsShowsTheEmptyState() {
        Pane p;
        p.view.show();
        const QList<QWidget*> empty = p.visible(u"draftsEmptyState"_s);
        QCOMPARE(empty.size(), 1);
        auto* state = qobject_cast<EmptyStateView*>(empty.first());
        QCOMPARE(state->title(), u"No drafts"_s);
        QCOMPARE(state->description(), u"Saved drafts will appear here."_s);
        QVERIFY(p.visible(u"draftsCard"_s).isEmpty());
        QStringList texts;
        for (QLabel* label : p.view.findChildren<QLabel*>()) {
            texts.append(label->text());
        }
        QVERIFY(texts.contains(u"Saved locally. Max 15 drafts."_s));
        QVERIFY(texts.contains(u"Drafts"_s));
    }

    void dividersOnlyBetweenRows_data() {
        QTest::addColumn<QStringList>("saved");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("dividers");
        QTest::newRow("one draft") << QStringList{u"only"_s} << QStringList{u"only"_s} << 0;
        QTest::newRow("three drafts, newest first")
            << QStringList{u"first"_s, u"second"_s, u"third"_s}
            << QStringList{u"third"_s, u"second"_s, u"first"_s} << 2;
    }
    void dividersOnlyBetweenRows() {
        QFETCH(QStringList, saved);
        QFETCH(QStringList, titles);
        QFETCH(int, dividers);
        Pane p;
        p.save(saved);
        p.view.show();
        QCOMPARE(p.visible(u"draftsCard"_s).size(), 1);
        QVERIFY(p.visible(u"draftsEmptyState"_s).isEmpty());
        QCOMPARE(p.titles(), titles);
        QCOMPARE(p.visible(u"draftDivider"_s).size(), dividers);
        // The card ends with a row, never with a divider.
        QWidget* card = p.visible(u"draftsCard"_s).first();
        QLayout* column = card->layout();
        QCOMPARE(column->itemAt(column->count() - 1)->widget()->objectName(), u"draftRow"_s);
    }

    void aRowShowsTitleThreeLinesOfBodyAndDate() {
        Pane p;
        // 72 characters: the longest title that is not cut.
        const QString longTitle =
            u"A first line that runs on well past where a narrow card wraps it, twice."_s;
        QCOMPARE(longTitle.size(), 72);
        const QString body =
            u"\n  "_s + longTitle + u"\nline two\nline three\nline four\nline five"_s;
        const QDateTime when(QDate(2026, 12, 10), QTime(10, 23), Qt::UTC);
        const Draft draft{QUuid::createUuid(), body, when, when};
        p.app.repository().saveDrafts({draft}, std::nullopt);
        p.app.drafts().setOwner(u"elsewhere"_s);
        p.app.drafts().setOwner(std::nullopt);
        p.view.resize(360, 800);
        p.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.view));

        QWidget* row = p.visible(u"draftRow"_s).first();
        auto* title = row->findChild<QLabel*>(u"draftTitle"_s);
        QCOMPARE(title->text(), longTitle);
        QVERIFY(title->wordWrap());
        auto* bodyLabel = row->findChild<ElidedLabel*>(u"draftBody"_s);
        const QStringList lines = bodyLabel->visibleLines(bodyLabel->width());
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.last().endsWith(u'\u2026'));
        auto* date = row->findChild<QLabel*>(u"draftDate"_s);
        QCOMPARE(date->text(), u"Dec 10, 2026, 10:23\u202FAM"_s);
        QCOMPARE(date->palette().color(date->foregroundRole()), Theme::secondaryInk());
        QCOMPARE(bodyLabel->palette().color(bodyLabel->foregroundRole()), Theme::secondaryInk());
    }

    void abbreviatedDateFollowsTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::newRow("American English")
            << QLocale(QLocale::English, QLocale::UnitedStates) << u"Dec 10, 2026, 10:23\u202FAM"_s;
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany)
                                << u"10.12.2026, 10:23"_s;
        QTest::newRow("British English")
            << QLocale(QLocale::English, QLocale::UnitedKingdom) << u"10 Dec 2026, 10:23"_s;
    }
    void abbreviatedDateFollowsTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QCOMPARE(
            abbreviatedDateTime(QDateTime(QDate(2026, 12, 10), QTime(10, 23), Qt::UTC), locale),
            text);
    }

    void clickingBesideShortTextOpensTheDraft() {
        Pane p;
        p.save({u"short"_s, u"other"_s});
        p.app.drafts().setStatusMessage(u"Draft saved"_s);
        p.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.view));
        const Draft target = p.app.drafts().drafts().at(1);

        auto* open =
            p.visible(u"draftRow"_s).at(1)->findChild<QAbstractButton*>(u"openDraftButton"_s);
        // Far right of the text column, where no text is.
        QTest::mouseClick(open, Qt::LeftButton, {}, QPoint(open->width() - 3, open->height() / 2));
        QCOMPARE(p.opened, 1);
        QCOMPARE(p.app.drafts().editorText(), u"short"_s);
        QCOMPARE(p.app.drafts().editingDraftID(), std::optional<QUuid>(target.id));
        QCOMPARE(p.app.drafts().statusMessage(), std::optional<QString>(u"Draft saved"_s));
    }

    void deletingTheOpenDraftUnlinksTheEditor() {
        Pane p;
        p.save({u"keep me"_s, u"delete me"_s});
        p.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.view));
        p.view.openDraft(p.app.drafts().drafts().first());
        QCOMPARE(p.app.drafts().editorText(), u"delete me"_s);

        QWidget* row = p.visible(u"draftRow"_s).first();
        auto* remove = row->findChild<QAbstractButton*>(u"deleteDraftButton"_s);
        QCOMPARE(remove->accessibleName(), u"Delete draft delete me"_s);
        QCOMPARE(remove->size(), QSize(32, 32));
        QTest::mouseClick(remove, Qt::LeftButton);

        QCOMPARE(bodiesOf(p.app.drafts().drafts()), QStringList{u"keep me"_s});
        QCOMPARE(bodiesOf(p.app.repository().loadDrafts(std::nullopt)), QStringList{u"keep me"_s});
        QTRY_COMPARE(p.titles(), QStringList{u"keep me"_s});
        QCOMPARE(p.visible(u"draftDivider"_s).size(), 0);
        // The text stays as a new, unsaved post: saving it makes a new draft.
        QCOMPARE(p.app.drafts().editorText(), u"delete me"_s);
        QCOMPARE(p.app.drafts().editingDraftID(), std::nullopt);
        p.app.drafts().saveDraft();
        QCOMPARE(bodiesOf(p.app.drafts().drafts()), QStringList({u"delete me"_s, u"keep me"_s}));
    }

    void deletingTheLastDraftShowsTheEmptyState() {
        Pane p;
        p.save({u"alone"_s});
        p.view.show();
        QTest::mouseClick(
            p.visible(u"draftRow"_s).first()->findChild<QAbstractButton*>(u"deleteDraftButton"_s),
            Qt::LeftButton);
        QTRY_COMPARE(p.visible(u"draftsEmptyState"_s).size(), 1);
        QVERIFY(p.visible(u"draftsCard"_s).isEmpty());
    }
};

QTEST_MAIN(TestDraftsView)
#include "tst_draftsview.moc"
