#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/pipeline/SignalCache.h"
#include "core/app/AppContainer.h"
#include "core/app/AppTelemetry.h"
#include "core/model/AppTelemetryEvent.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <QThreadPool>
#include <QUuid>

using namespace Qt::StringLiterals;
using namespace quillon;
using signalpost::Signalpost;
using signalpost::TelemetryManager;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;

namespace {

const QList<AppTelemetryEvent> allEvents{
    AppTelemetryEvent::appOpened,
    AppTelemetryEvent::insightOpened,
    AppTelemetryEvent::editorStarted,
    AppTelemetryEvent::draftSaved,
    AppTelemetryEvent::linkedInConnectStarted,
    AppTelemetryEvent::linkedInConnected,
    AppTelemetryEvent::accountDeleted,
    AppTelemetryEvent::postStarted,
    AppTelemetryEvent::postSucceeded,
    AppTelemetryEvent::postFailed,
    AppTelemetryEvent::feedbackOpened,
    AppTelemetryEvent::feedbackSent,
};

void sendEveryEvent() {
    for (AppTelemetryEvent event : allEvents) {
        sendTelemetryEvent(event);
    }
    AppContainer::sendTelemetry(AppTelemetryEvent::draftSaved);
}

// Runs the main-thread hop and the body builders of the signals sent so far.
void letSignalsReachTheCache() {
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
}

QStringList sortedTypes(const QJsonArray& bodies) {
    QStringList types;
    for (const QJsonValue& body : bodies) {
        types.append(body.toObject().value("type").toString());
    }
    types.sort();
    return types;
}

AppConfiguration::Observability observability(const QString& appID, const QString& ns) {
    AppConfiguration::Observability o;
    o.signalpostAppID = appID;
    o.signalpostNamespace = ns;
    return o;
}

} // namespace

// One process, one analytics-ready flag: the cases run in order, from off to on.
class AppTelemetryTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eventsFromRawValues();
    void eventsAreSilentWhileAnalyticsAreOff();
    void configuredAnalyticsSendEveryEventWithoutParameters();
    void everyLaunchDrawsANewUser();
    void cleanupTestCase() { Signalpost::terminate(); }

private:
    IngestStandIn m_ingest;
};

void AppTelemetryTest::eventsFromRawValues() {
    QCOMPARE(appTelemetryEventFromRawValue(u"post_failed"), AppTelemetryEvent::postFailed);
    QCOMPARE(appTelemetryEventFromRawValue(u"linkedin_connect_started"),
             AppTelemetryEvent::linkedInConnectStarted);
    QCOMPARE(appTelemetryEventFromRawValue(u"Post_Failed"), std::nullopt);
    QCOMPARE(appTelemetryEventFromRawValue(u"app_closed"), std::nullopt);
}

void AppTelemetryTest::eventsAreSilentWhileAnalyticsAreOff() {
    // A client the test starts itself, to see whatever would reach the service.
    QFile::remove(signalpost::SignalCache::defaultCacheFilePath());
    auto probe = std::make_shared<TelemetryManagerConfiguration>(u"probe"_s, std::nullopt,
                                                                 m_ingest.baseURL());
    probe->setTransmitInterval(0.05);
    probe->setLogHandler(std::nullopt);
    probe->setSendNewSessionBeganSignal(false);
    // Its own first session would announce an install; what the probe still holds goes on to
    // the client that replaces it.
    probe->setSessionStatsEnabled(false);
    Signalpost::initialize(probe);

    QVERIFY(!isTelemetryConfigured());
    sendEveryEvent();
    configureAnalytics(observability(u" \t\n "_s, u"team"_s));
    QVERIFY(!isTelemetryConfigured());
    sendEveryEvent();

    // Whatever was sent before the marker has arrived once the marker has.
    letSignalsReachTheCache();
    Signalpost::signal(u"marker"_s);
    QTRY_COMPARE(sortedTypes(m_ingest.allBodies()), QStringList{"marker"});
    QCOMPARE(TelemetryManager::current()->configuration(), probe);
}

void AppTelemetryTest::configuredAnalyticsSendEveryEventWithoutParameters() {
    const qsizetype before = m_ingest.requestCount();
    configureAnalytics(observability(u"  app-quillon\n"_s, u" team "_s));
    QVERIFY(isTelemetryConfigured());
    const auto configuration = TelemetryManager::current()->configuration();
    QCOMPARE(configuration->telemetryAppID(), "app-quillon");
    QCOMPARE(configuration->ingestNamespace(), std::optional<QString>("team"));
    QCOMPARE(configuration->apiBaseURL(), TelemetryManagerConfiguration::defaultIngestBaseURL());
    QCOMPARE(configuration->salt(), QString());
    QVERIFY(!configuration->sendNewSessionBeganSignal());
    QVERIFY(!configuration->sessionStatsEnabled());
    const QString user = configuration->defaultUser().value_or(QString());
    QVERIFY2(!QUuid::fromString(user).isNull(), qPrintable(user));

    // The shared configuration is read at every send attempt: point it at the stand-in.
    configuration->setApiBaseURL(m_ingest.baseURL());
    sendEveryEvent();
    letSignalsReachTheCache();
    Signalpost::requestImmediateSync();
    // The probe's marker may arrive here a second time: a batch still awaiting its answer when
    // the probe was replaced is handed on with its queue (delivery is at least once).
    const auto appBodies = [&] {
        QJsonArray bodies;
        for (const auto& request : m_ingest.requests().mid(before)) {
            for (const QJsonValue& body : request.bodies()) {
                if (body.toObject().value("type").toString() != "marker") {
                    bodies.append(body);
                }
            }
        }
        return bodies;
    };
    QTRY_COMPARE(appBodies().size(), 13);

    for (const auto& request : m_ingest.requests().mid(before)) {
        QCOMPARE(request.path, "/v2/namespace/team/");
    }
    const QJsonArray bodies = appBodies();
    QCOMPARE(sortedTypes(bodies),
             (QStringList{"account_deleted", "app_opened", "draft_saved", "draft_saved",
                          "editor_started", "feedback_opened", "feedback_sent", "insight_opened",
                          "linkedin_connect_started", "linkedin_connected", "post_failed",
                          "post_started", "post_succeeded"}));
    const QSet<QString>& reserved = Signalpost::reservedSignalNames();
    for (const QJsonValue& value : bodies) {
        const QJsonObject body = value.toObject();
        QCOMPARE(body.value("appID").toString(), "app-quillon");
        QCOMPARE(body.value("clientUser").toString(), signalpost::sha256HexDigest(user, {}));
        QVERIFY(!body.contains("floatValue"));
        // Only default parameters: the client's own keys.
        const QJsonObject payload = body.value("payload").toObject();
        QCOMPARE(payload.value("platform").toString(), "Linux");
        for (const QString& key : payload.keys()) {
            QVERIFY2(key.startsWith("Signalpost.") || reserved.contains(key.toLower()) ||
                         key == "extensionIdentifier",
                     qPrintable(key));
        }
    }
}

void AppTelemetryTest::everyLaunchDrawsANewUser() {
    const auto first = TelemetryManager::current()->configuration()->defaultUser();
    configureAnalytics(observability(u"app-quillon"_s, u"  "_s));
    const auto configuration = TelemetryManager::current()->configuration();
    QVERIFY(configuration->defaultUser() != first);
    QCOMPARE(configuration->ingestNamespace(), std::nullopt);
    // Nothing about the user is kept between launches.
    QVERIFY(!Signalpost::defaultsSuite()->contains("defaultUserIdentifier"));
}

QTEST_GUILESS_MAIN(AppTelemetryTest)
#include "tst_apptelemetry.moc"
