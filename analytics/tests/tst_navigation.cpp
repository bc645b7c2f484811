#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/Signalpost.h"
#include "analytics/tests/LogRecorder.h"
#include "analytics/tests/SentSignals.h"
#include "analytics/tracking/NavigationStatus.h"
#include "analytics/tracking/TrackNavigationModifier.h"
#include "tests/support/IngestStandIn.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QStackedWidget>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

using signalpost::NavigationStatus;
using signalpost::Signalpost;
using signalpost::testsupport::IngestStandIn;

namespace {

QJsonObject navigation(const QString& source, const QString& destination) {
    return {{"Signalpost.Navigation.schemaVersion", "1"},
            {"Signalpost.Navigation.identifier", source + " -> " + destination},
            {"Signalpost.Navigation.sourcePath", source},
            {"Signalpost.Navigation.destinationPath", destination}};
}

} // namespace

class NavigationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void reportsCarryTheirSourceAndDestination();
    void trackedWidgetReportsEachTimeItIsShown();

private:
    // Waits until the number of signals received reaches `count`; then the payload of the
    // last one (sent one at a time, so received in the order sent).
    QJsonObject received(int count);

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void NavigationTest::init() {
    sentsignals::removeClientFiles();
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
}

void NavigationTest::cleanup() {
    Signalpost::terminate();
    QThreadPool::globalInstance()->waitForDone();
    sentsignals::removeClientFiles();
    m_ingest.reset();
}

QJsonObject NavigationTest::received(int count) {
    if (!QTest::qWaitFor([&] { return m_ingest->allBodies().size() >= count; })) {
        return {};
    }
    const QJsonArray bodies = m_ingest->allBodies();
    if (bodies.size() != count) {
        return {};
    }
    const QJsonObject last = bodies.last().toObject();
    if (last.value("type") != QLatin1String("Signalpost.Navigation.pathChanged")) {
        return {};
    }
    return sentsignals::payloadOf(last);
}

void NavigationTest::reportsCarryTheirSourceAndDestination() {
    QCOMPARE(NavigationStatus::shared().previousNavigationPath(), std::optional<QString>());
    Signalpost::navigationPathChanged(u"home"_s);
    QCOMPARE(received(1), navigation("", "home"));
    Signalpost::navigationPathChanged(u"settings"_s);
    QCOMPARE(received(2), navigation("home", "settings"));
    QCOMPARE(m_ingest->allBodies().at(1).toObject().value("payload").toObject().value(
                 "Signalpost.Navigation.identifier"),
             QJsonValue("home -> settings"));

    // An explicit source still makes the destination the next report's source.
    Signalpost::navigationPathChanged(u"deep/link"_s, u"editor"_s, u"visitor"_s);
    QCOMPARE(received(3), navigation("deep/link", "editor"));
    QCOMPARE(m_ingest->allBodies().at(2).toObject().value("clientUser").toString(),
             signalpost::sha256HexDigest("visitor", "salt"));
    QCOMPARE(NavigationStatus::shared().previousNavigationPath(), std::optional<QString>("editor"));
    Signalpost::navigationPathChanged(u"drafts"_s);
    QCOMPARE(received(4), navigation("editor", "drafts"));
    QCOMPARE(m_log.linesStartingWith("ERROR"), QStringList());
}

void NavigationTest::trackedWidgetReportsEachTimeItIsShown() {
    NavigationStatus::shared().setPreviousNavigationPath(u"start"_s);
    QStackedWidget stack;
    auto* first = new QWidget;
    auto* second = signalpost::trackNavigation(new QWidget, u"settings"_s);
    stack.addWidget(first);
    stack.addWidget(second);
    // Created and added, never shown: nothing reported before the marker.
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    QCOMPARE(sentsignals::typesOf(m_ingest->allBodies()), QStringList{"marker"});

    stack.show(); // shows the first page only
    QVERIFY(QTest::qWaitForWindowExposed(&stack));
    stack.setCurrentWidget(second);
    QCOMPARE(received(2), navigation("start", "settings"));
    stack.setCurrentWidget(first);
    stack.setCurrentWidget(second);
    QCOMPARE(received(3), navigation("settings", "settings"));
}

QTEST_MAIN(NavigationTest)
#include "tst_navigation.moc"
