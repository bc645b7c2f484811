#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/tests/LogRecorder.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>
#include <QTimeZone>

using namespace Qt::StringLiterals;

using signalpost::SignalCache;
using signalpost::Signalpost;
using signalpost::SignalPostBody;
using signalpost::TelemetryManager;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;
using Parameters = QMap<QString, QString>;

namespace {

QMap<QString, QJsonObject> bodiesByType(const QJsonArray& array) {
    QMap<QString, QJsonObject> byType;
    for (const QJsonValue& value : array) {
        byType.insert(value.toObject().value("type").toString(), value.toObject());
    }
    return byType;
}

// The payload less the default parameters every signal carries.
QJsonObject payloadOf(const QJsonObject& body) {
    QJsonObject payload = body.value("payload").toObject();
    for (const QString& key : signalpost::DefaultSignalPayload::parameters().keys()) {
        payload.remove(key);
    }
    return payload;
}

// Runs the main-thread hop and the body builders of the signals sent so far.
void letSignalsReachTheCache() {
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
}

} // namespace

class SignalpostTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void appEventIsSentWithoutWarning();
    void prefixesApplyToPublicPathOnly();
    void reservedNamesAndKeysAreWarnedAbout_data();
    void reservedNamesAndKeysAreWarnedAbout();
    void defaultParametersAreCheckedEvenWithWarningsOff();
    void blockedSignalsVanish_data();
    void blockedSignalsVanish();
    void defaultUserIsKeptInSuite();
    void defaultsSuiteIsNamedAfterAppID();
    void immediateSyncIsThrottled();
    void olderSurfaceForwards();
    void foregroundStartsSessionAfterLongBackground();
    void standInBeforeInitialisationLeavesCacheFileAlone();
    void secondInitializeHandsQueueOn();

private:
    std::shared_ptr<TelemetryManagerConfiguration> configure(double transmitInterval = 0.05);

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void SignalpostTest::init() {
    QFile::remove(SignalCache::defaultCacheFilePath());
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
}

void SignalpostTest::cleanup() {
    Signalpost::terminate();
    qunsetenv("XCODE_RUNNING_FOR_PREVIEWS");
    QThreadPool::globalInstance()->waitForDone();
    const QString suiteFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString& name : QDir(suiteFolder).entryList({"com.signalpost.*"})) {
        QFile::remove(suiteFolder + "/" + name);
    }
    m_ingest.reset();
}

std::shared_ptr<TelemetryManagerConfiguration> SignalpostTest::configure(double transmitInterval) {
    auto c = std::make_shared<TelemetryManagerConfiguration>(u"app-quillon-test"_s, u"salt"_s,
                                                             m_ingest->baseURL());
    c->setTransmitInterval(transmitInterval);
    c->setLogHandler(m_log.handler());
    c->setDefaultUser(u"tester"_s);
    c->setSendNewSessionBeganSignal(false);
    c->setSessionStatsEnabled(false);
    return c;
}

void SignalpostTest::appEventIsSentWithoutWarning() {
    Signalpost::initialize(configure());
    Signalpost::signal(u"app_opened"_s);
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    const QJsonObject body = m_ingest->allBodies().first().toObject();
    QCOMPARE(body.value("type").toString(), u"app_opened"_s);
    QCOMPARE(body.value("appID").toString(), u"app-quillon-test"_s);
    QCOMPARE(body.value("clientUser").toString(), signalpost::sha256HexDigest("tester", "salt"));
    QCOMPARE(payloadOf(body), QJsonObject());
    QCOMPARE(body.value("payload").toObject().value("platform").toString(), u"Linux"_s);
    QVERIFY(m_log.linesStartingWith("ERROR").isEmpty());
}

void SignalpostTest::prefixesApplyToPublicPathOnly() {
    auto c = configure();
    c->setDefaultSignalPrefix(u"MyApp."_s);
    c->setDefaultParameterPrefix(u"p."_s);
    c->setDefaultParameters([] { return Parameters{{"build", "7"}, {"screen", "default"}}; });
    Signalpost::initialize(c);
    Signalpost::signal("Clicked", {{"screen", "home"}, {"Signalpost.Own.key", "kept"}});
    Signalpost::signal("MyApp.Twice");
    Signalpost::internalSignal("Inner", {{"k", "v"}});
    QTRY_COMPARE(m_ingest->allBodies().size(), 3);

    const auto byType = bodiesByType(m_ingest->allBodies());
    QCOMPARE(byType.keys(), (QStringList{"Inner", "MyApp.Clicked", "MyApp.MyApp.Twice"}));
    QCOMPARE(payloadOf(byType.value("MyApp.Clicked")),
             (QJsonObject{{"p.build", "7"}, {"p.screen", "home"}, {"Signalpost.Own.key", "kept"}}));
    // Internal parameters get no prefix; the configured defaults always do.
    QCOMPARE(payloadOf(byType.value("Inner")),
             (QJsonObject{{"p.build", "7"}, {"p.screen", "default"}, {"k", "v"}}));
}

void SignalpostTest::reservedNamesAndKeysAreWarnedAbout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Parameters>("parameters");
    QTest::addColumn<std::optional<QString>>("signalPrefix");
    QTest::addColumn<QStringList>("warnings");
    const QString w1 = "ERROR Sending signal with reserved prefix 'Signalpost.' will cause "
                       "unexpected behavior. Please use another prefix instead.";
    const QString w2 = "ERROR Sending signal with reserved name '%1' will cause unexpected "
                       "behavior. Please use another name instead.";
    const QString w3 = "ERROR Sending parameter with reserved key prefix 'Signalpost.' will cause "
                       "unexpected behavior. Please use another prefix instead.";
    const QString w4 = "ERROR Sending parameter with reserved key '%1' will cause unexpected "
                       "behavior. Please use another key instead.";
    const std::optional<QString> none;

    QTest::newRow("reserved prefix only, though name is reserved too")
        << "Signalpost.type" << Parameters() << none << QStringList{w1};
    QTest::newRow("prefix in other case")
        << "SIGNALPOST.x" << Parameters() << none << QStringList{w1};
    QTest::newRow("reserved name, capitalised")
        << "Platform" << Parameters() << none << QStringList{w2.arg("Platform")};
    QTest::newRow("reserved name")
        << "platform" << Parameters() << none << QStringList{w2.arg("platform")};
    QTest::newRow("reserved name quoted as sent, with prefix")
        << "Signalpost.appID" << Parameters() << std::optional<QString>("") << QStringList{w1};
    QTest::newRow("prefix makes name safe")
        << "type" << Parameters() << std::optional<QString>("MyApp.") << QStringList();
    QTest::newRow("key with reserved prefix in capitals")
        << "ok" << Parameters{{"SIGNALPOST.thing", "1"}} << none << QStringList{w3};
    QTest::newRow("reserved key") << "ok" << Parameters{{"appVersion", "1"}} << none
                                  << QStringList{w4.arg("appVersion")};
    QTest::newRow("name and keys")
        << "signalpost.x" << Parameters{{"locale", "de"}, {"region", "CH"}, {"plain", "1"}} << none
        << QStringList{w1, w4.arg("locale"), w4.arg("region")};
    QTest::newRow("ordinary") << "draft_saved" << Parameters{{"words", "12"}} << none
                              << QStringList();
}

void SignalpostTest::reservedNamesAndKeysAreWarnedAbout() {
    QFETCH(QString, name);
    QFETCH(Parameters, parameters);
    QFETCH(std::optional<QString>, signalPrefix);
    QFETCH(QStringList, warnings);
    auto c = configure();
    c->setDefaultSignalPrefix(signalPrefix);
    Signalpost::initialize(c);
    Signalpost::signal(name, parameters);
    QCOMPARE(m_log.linesStartingWith("ERROR"), warnings);
    // Warned about, but sent all the same.
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    QCOMPARE(m_ingest->allBodies().first().toObject().value("type").toString(),
             signalPrefix.value_or("") + name);
}

void SignalpostTest::defaultParametersAreCheckedEvenWithWarningsOff() {
    auto c = configure();
    c->setReservedParameterWarningsEnabled(false);
    c->setDefaultParameters([] { return Parameters{{"locale", "en_US"}}; });
    Signalpost::initialize(c);
    Signalpost::signal("Platform", {{"type", "x"}});
    Signalpost::signal("second");
    const QString w4 = "ERROR Sending parameter with reserved key 'locale' will cause unexpected "
                       "behavior. Please use another key instead.";
    QCOMPARE(m_log.linesStartingWith("ERROR"), (QStringList{w4, w4}));
    QTRY_COMPARE(m_ingest->allBodies().size(), 2);
}

void SignalpostTest::blockedSignalsVanish_data() {
    QTest::addColumn<QString>("block");
    QTest::newRow("analytics disabled") << "disabled";
    QTest::newRow("preview mode from the environment") << "preview";
}

void SignalpostTest::blockedSignalsVanish() {
    QFETCH(QString, block);
    auto c = configure();
    c->setDefaultUser(std::nullopt);
    Signalpost::initialize(c);
    if (block == "disabled") {
        c->setAnalyticsDisabled(true);
    } else {
        qputenv("XCODE_RUNNING_FOR_PREVIEWS", "1");
    }
    Signalpost::signal("blocked", {{"appVersion", "1"}});
    Signalpost::internalSignal("blocked.internal");
    letSignalsReachTheCache();
    QVERIFY(m_log.linesStartingWith("ERROR").isEmpty());
    QVERIFY(!Signalpost::defaultsSuite()->contains("defaultUserIdentifier"));

    c->setAnalyticsDisabled(false);
    qunsetenv("XCODE_RUNNING_FOR_PREVIEWS");
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    QCOMPARE(m_ingest->allBodies().first().toObject().value("type").toString(), u"marker"_s);
}

void SignalpostTest::defaultUserIsKeptInSuite() {
    auto c = configure();
    c->setDefaultUser(std::nullopt);
    Signalpost::initialize(c);
    Signalpost::signal("first");
    letSignalsReachTheCache();
    const QString stored = Signalpost::defaultsSuite()->value("defaultUserIdentifier").toString();
    QVERIFY(!QUuid::fromString(stored).isNull());

    Signalpost::signal("again");
    Signalpost::signal("custom", {}, {}, u"alice"_s);
    letSignalsReachTheCache();
    Signalpost::updateDefaultUser(u"carol"_s);
    Signalpost::signal("updated");
    letSignalsReachTheCache();
    Signalpost::updateDefaultUser(std::nullopt);
    Signalpost::signal("cleared");
    QTRY_COMPARE(m_ingest->allBodies().size(), 5);

    const auto byType = bodiesByType(m_ingest->allBodies());
    const QString storedHash = signalpost::sha256HexDigest(stored, "salt");
    QCOMPARE(byType.value("first").value("clientUser").toString(), storedHash);
    QCOMPARE(byType.value("again").value("clientUser").toString(), storedHash);
    QCOMPARE(byType.value("custom").value("clientUser").toString(),
             signalpost::sha256HexDigest("alice", "salt"));
    QCOMPARE(byType.value("updated").value("clientUser").toString(),
             signalpost::sha256HexDigest("carol", "salt"));
    QCOMPARE(byType.value("cleared").value("clientUser").toString(), storedHash);
    QCOMPARE(Signalpost::defaultsSuite()->value("defaultUserIdentifier").toString(), stored);
    QCOMPARE(TelemetryManager::current()->hashedDefaultUser(), storedHash);
}

void SignalpostTest::defaultsSuiteIsNamedAfterAppID() {
    QVERIFY(!Signalpost::defaultsSuite());
    Signalpost::initialize(configure());
    const auto suite = Signalpost::defaultsSuite();
    QVERIFY(suite);
    QCOMPARE(suite->fileName(),
             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 "/com.signalpost.39e5cf5644bc.ini");
    QCOMPARE(suite->format(), QSettings::IniFormat);
    Signalpost::terminate();
    QVERIFY(!TelemetryManager::isInitialized());
    QVERIFY(!Signalpost::defaultsSuite());
}

void SignalpostTest::immediateSyncIsThrottled() {
    auto c = configure(3600);
    Signalpost::initialize(c);
    Signalpost::signal("a");
    letSignalsReachTheCache();
    Signalpost::requestImmediateSync();
    QTRY_COMPARE(m_ingest->requestCount(), 1);

    Signalpost::signal("b");
    letSignalsReachTheCache();
    Signalpost::requestImmediateSync();
    QTest::qWait(300);
    QCOMPARE(m_ingest->requestCount(), 1);

    // Once the last request lies further back than the interval, the next one goes out.
    c->setTransmitInterval(0.2);
    Signalpost::requestImmediateSync();
    QTRY_COMPARE(m_ingest->requestCount(), 2);
    QCOMPARE(m_ingest->requests().at(1).bodies().first().toObject().value("type").toString(),
             u"b"_s);
}

void SignalpostTest::olderSurfaceForwards() {
    TelemetryManagerConfiguration c(u"legacy-app"_s, u"salt"_s, m_ingest->baseURL());
    c.setTransmitInterval(0.05);
    c.setLogHandler(m_log.handler());
    c.setSendNewSessionBeganSignal(false);
    c.setSessionStatsEnabled(false);
    c.setDefaultSignalPrefix(u"Old."_s);
    TelemetryManager::initialize(c);
    QVERIFY(TelemetryManager::isInitialized());
    TelemetryManager::updateDefaultUser(u"dave"_s);
    TelemetryManager::send("plain", {{"k", "v"}});
    TelemetryManager::send("full", u"erin"_s, 3.25, {{"k", "w"}});
    QTRY_COMPARE(m_ingest->allBodies().size(), 2);

    const auto byType = bodiesByType(m_ingest->allBodies());
    QCOMPARE(byType.value("Old.plain").value("clientUser").toString(),
             signalpost::sha256HexDigest("dave", "salt"));
    QCOMPARE(byType.value("Old.full").value("clientUser").toString(),
             signalpost::sha256HexDigest("erin", "salt"));
    QCOMPARE(byType.value("Old.full").value("floatValue").toDouble(), 3.25);
    QCOMPARE(byType.value("Old.full").value("appID").toString(), u"legacy-app"_s);
    // The client holds a copy: the caller's object is not the one being changed.
    QCOMPARE(c.defaultUser(), std::nullopt);
    TelemetryManager::terminate();
    QVERIFY(!TelemetryManager::isInitialized());
}

void SignalpostTest::foregroundStartsSessionAfterLongBackground() {
    auto c = configure(3600);
    Signalpost::initialize(c);
    const auto manager = TelemetryManager::current();
    const QUuid before = c->sessionID();
    // Never in the background: that was "long ago".
    manager->willEnterForeground();
    const QUuid renewed = c->sessionID();
    QVERIFY(renewed != before);
    manager->didEnterBackground();
    manager->willEnterForeground();
    QCOMPARE(c->sessionID(), renewed);
}

void SignalpostTest::standInBeforeInitialisationLeavesCacheFileAlone() {
    SignalPostBody cached;
    cached.receivedAt = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
    cached.appID = u"app-quillon-test"_s;
    cached.clientUser = u"u"_s;
    cached.sessionID = u"S"_s;
    cached.type = u"from_last_launch"_s;
    cached.isTestMode = u"false"_s;
    {
        QDir().mkpath(QFileInfo(SignalCache::defaultCacheFilePath()).absolutePath());
        QFile file(SignalCache::defaultCacheFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(*SignalPostBody::encodeArray({cached}, SignalPostBody::DateForm::referenceDate));
    }
    QVERIFY(!TelemetryManager::isInitialized());
    Signalpost::signal("too_early");
    Signalpost::generateNewSession();
    letSignalsReachTheCache();
    QVERIFY(QFile::exists(SignalCache::defaultCacheFilePath()));
    QVERIFY(!TelemetryManager::isInitialized());

    Signalpost::initialize(configure());
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);
    QCOMPARE(m_ingest->allBodies().first().toObject().value("type").toString(),
             u"from_last_launch"_s);
}

void SignalpostTest::secondInitializeHandsQueueOn() {
    m_ingest->holdAnswers(true);
    Signalpost::initialize(configure());
    Signalpost::signal(u"a1"_s);
    Signalpost::signal(u"a2"_s);
    // A batch is on its way and stays unanswered; the next signal has not reached the cache.
    QTRY_VERIFY(m_ingest->requestCount() >= 1);
    Signalpost::signal(u"a3"_s);

    IngestStandIn replacing;
    const auto c = configure();
    c->setApiBaseURL(replacing.baseURL());
    Signalpost::initialize(c);
    Signalpost::signal(u"a4"_s);
    QTRY_COMPARE(replacing.allBodies().size(), 4);
    QStringList types = bodiesByType(replacing.allBodies()).keys();
    QCOMPARE(types, (QStringList{"a1", "a2", "a3", "a4"}));
    QVERIFY(
        m_log.lines().contains("INFO Handing 3 signals on to the manager that replaces this one"));

    // The unanswered batch went on with the rest; its late answer puts nothing back.
    m_ingest->holdAnswers(false);
    Signalpost::signal(u"marker"_s);
    QTRY_COMPARE(replacing.allBodies().size(), 5);
}

QTEST_GUILESS_MAIN(SignalpostTest)
#include "tst_signalpost.moc"
