#include "ui/insights/Insight.h"
#include "ui/insights/InsightsView.h"
#include "ui/kit/ContentButton.h"
#include "ui/tests/RecordingBrowser.h"
#include "ui/theme/Theme.h"

#include <QDesktopServices>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

class TestInsightsView : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void theCatalogHoldsTheSixStories_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("topline");
        QTest::addColumn<QString>("summary");
        QTest::newRow("1")
            << 0 << u"$2M revenue"_s
            << u"Daily LinkedIn posts helped build $2M revenue and a coaching business."_s;
        QTest::newRow("2")
            << 1 << u"$100K+ MRR pipeline"_s
            << u"Founder-led LinkedIn posts created $100K+ in measurable MRR pipeline."_s;
        QTest::newRow("3")
            << 2 << u"600+ leads"_s
            << u"Consistent LinkedIn content produced 600+ leads without ads or cold outreach."_s;
        QTest::newRow("4")
            << 3 << u"2x in 60 days"_s
            << u"Buyer-focused LinkedIn content helped a client double revenue in 60 days."_s;
        QTest::newRow("5")
            << 4 << u"3x client income"_s
            << u"Profile and post clarity helped turn LinkedIn into 3x client income."_s;
        QTest::newRow("6")
            << 5 << u"7 inbound leads/week"_s
            << u"Clear positioning helped turn LinkedIn into 7 inbound leads per week."_s;
    }
    void theCatalogHoldsTheSixStories() {
        QFETCH(int, index);
        QFETCH(QString, topline);
        QFETCH(QString, summary);
        const QList<Insight>& catalog = insightsCatalog();
        QCOMPARE(catalog.size(), 6);
        QCOMPARE(catalog[index].topline, topline);
        QCOMPARE(catalog[index].summary, summary);
        QVERIFY(!catalog[index].title.isEmpty());
        static const QRegularExpression form(
            u"^https://www\\.linkedin\\.com/feed/update/urn%3Ali%3Aactivity%3A[0-9]{19}/$"_s);
        QVERIFY2(form.match(catalog[index].url).hasMatch(), qPrintable(catalog[index].url));
    }

    void addressesAreDistinct() {
        QSet<QString> urls;
        for (const Insight& insight : insightsCatalog()) {
            urls.insert(insight.url);
        }
        QCOMPARE(urls.size(), 6);
    }

    void cardsKeepTheCatalogOrder() {
        InsightsView view(insightsCatalog(), {});
        QStringList toplines;
        for (ContentButton* card : view.findChildren<ContentButton*>(u"insightCard"_s)) {
            QLabel* topline = card->findChildren<QLabel*>().first();
            toplines.append(topline->text());
            // Inside a button a label would otherwise draw in the button's text colour.
            QCOMPARE(topline->palette().color(topline->foregroundRole()), Theme::accent());
        }
        QCOMPARE(toplines, QStringList({u"$2M revenue"_s, u"$100K+ MRR pipeline"_s, u"600+ leads"_s,
                                        u"2x in 60 days"_s, u"3x client income"_s,
                                        u"7 inbound leads/week"_s}));
    }

    void clickingACardOpensItsPostAndCountsOnce() {
        RecordingBrowser browser;
        QList<AppTelemetryEvent> events;
        InsightsView view(insightsCatalog(), [&](AppTelemetryEvent e) { events.append(e); });
        view.resize(700, 900);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        ContentButton* third = view.findChildren<ContentButton*>(u"insightCard"_s).at(2);
        QTest::mouseClick(third, Qt::LeftButton, {}, QPoint(third->width() - 4, 4));
        QCOMPARE(browser.opened, QList<QUrl>{QUrl(insightsCatalog()[2].url)});
        QCOMPARE(events, QList<AppTelemetryEvent>{AppTelemetryEvent::insightOpened});
    }

    void nothingCountsWhenTheBrowserDidNotOpen() {
        // Without a handler the offscreen platform reports that it opened nothing.
        QList<AppTelemetryEvent> events;
        InsightsView view(insightsCatalog(), [&](AppTelemetryEvent e) { events.append(e); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"does not support"_s));
        view.openInsight(insightsCatalog()[0]);
        QVERIFY(events.isEmpty());
    }

    void anInvalidAddressOpensNothing_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << QString();
        QTest::newRow("space in the host") << u"https://www.linked in.com/feed/"_s;
        QTest::newRow("bad percent escape") << u"https://www.linkedin.com/feed/%zz/"_s;
    }
    void anInvalidAddressOpensNothing() {
        QFETCH(QString, url);
        RecordingBrowser browser;
        QList<AppTelemetryEvent> events;
        const Insight broken{u"t"_s, u"Someone"_s, u"s"_s, url};
        InsightsView view({broken}, [&](AppTelemetryEvent e) { events.append(e); });
        view.openInsight(broken);
        QVERIFY(browser.opened.isEmpty());
        QVERIFY(events.isEmpty());
    }
};

QTEST_MAIN(TestInsightsView)
#include "tst_insightsview.moc"
