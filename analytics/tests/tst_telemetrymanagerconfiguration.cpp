#include "analytics/base/TelemetryManagerConfiguration.h"

#include <QTest>

using namespace Qt::StringLiterals;

using signalpost::LogHandler;
using signalpost::TelemetryManagerConfiguration;

class TelemetryManagerConfigurationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("XCODE_RUNNING_FOR_PREVIEWS"); }
    void defaults();
    void constructorArguments_data();
    void constructorArguments();
    void defaultIngestAddressIsTheBuildOption();
    void testMode();
    void previewModeFollowsEnvironment_data();
    void previewModeFollowsEnvironment();
    void setPreviewModeIgnoresEnvironment();
    void sessionIDWithSwitchesOffOnlyStores();
    void copyIsIndependent();
};

void TelemetryManagerConfigurationTest::defaults() {
    const TelemetryManagerConfiguration c(u"APP"_s);
    QCOMPARE(c.telemetryAppID(), u"APP"_s);
    QCOMPARE(c.apiBaseURL().scheme(), u"https"_s);
    QCOMPARE(c.ingestNamespace(), std::nullopt);
    QCOMPARE(c.salt(), QString(""));
    QCOMPARE(c.defaultUser(), std::nullopt);
    QCOMPARE(c.defaultSignalPrefix(), std::nullopt);
    QCOMPARE(c.defaultParameterPrefix(), std::nullopt);
    QVERIFY(c.defaultParameters());
    QCOMPARE(c.defaultParameters()(), (QMap<QString, QString>()));
    QVERIFY(c.sendNewSessionBeganSignal());
    QVERIFY(!c.sessionID().isNull());
    QCOMPARE(c.cacheLimit(), 10000);
    QCOMPARE(c.transmitInterval(), 10.0);
    QCOMPARE(c.maxBackoffInterval(), 300.0);
    QVERIFY(!c.sendSignalsInDebugConfiguration());
    QCOMPARE(c.rawTestMode(), std::nullopt);
    QCOMPARE(c.rawSwiftUIPreviewMode(), std::nullopt);
    QVERIFY(!c.analyticsDisabled());
    QVERIFY(c.reservedParameterWarningsEnabled());
    QVERIFY(c.sessionStatsEnabled());
    QVERIFY(!c.showDebugLogs());
    QVERIFY(c.logHandler().has_value());
    QCOMPARE(c.logHandler()->logLevel(), LogHandler::LogLevel::info);
    QVERIFY(c.metadataEnrichers().isEmpty());

    // Every configuration gets its own session.
    QVERIFY(TelemetryManagerConfiguration(u"APP"_s).sessionID() != c.sessionID());
}

void TelemetryManagerConfigurationTest::constructorArguments_data() {
    QTest::addColumn<std::optional<QString>>("salt");
    QTest::addColumn<std::optional<QUrl>>("baseURL");
    QTest::addColumn<QString>("expectedSalt");
    QTest::addColumn<QUrl>("expectedBaseURL");
    const QUrl standard = TelemetryManagerConfiguration::defaultIngestBaseURL();
    QTest::newRow("nothing given")
        << std::optional<QString>() << std::optional<QUrl>() << "" << standard;
    QTest::newRow("salt, URL without slash")
        << std::optional<QString>("pepper") << std::optional<QUrl>(QUrl("http://127.0.0.1:9"))
        << "pepper" << QUrl("http://127.0.0.1:9");
    QTest::newRow("URL with slash and path kept")
        << std::optional<QString>() << std::optional<QUrl>(QUrl("http://127.0.0.1:9/ingest/")) << ""
        << QUrl("http://127.0.0.1:9/ingest/");
}

void TelemetryManagerConfigurationTest::constructorArguments() {
    QFETCH(std::optional<QString>, salt);
    QFETCH(std::optional<QUrl>, baseURL);
    QFETCH(QString, expectedSalt);
    QFETCH(QUrl, expectedBaseURL);
    const TelemetryManagerConfiguration c(u"APP"_s, salt, baseURL, u"team"_s);
    QCOMPARE(c.salt(), expectedSalt);
    QCOMPARE(c.apiBaseURL(), expectedBaseURL);
    QCOMPARE(c.ingestNamespace(), std::optional<QString>(u"team"_s));
}

void TelemetryManagerConfigurationTest::defaultIngestAddressIsTheBuildOption() {
    // A deployment chooses the address when it builds; the code keeps no address of its own.
    const QString configured = qEnvironmentVariable("QUILLON_INGEST_BASE_URL");
    QVERIFY2(!configured.isEmpty(), "the build passes its ingest address to this test");
    QCOMPARE(TelemetryManagerConfiguration::defaultIngestBaseURL(), QUrl(configured));
    QCOMPARE(TelemetryManagerConfiguration(u"APP"_s).apiBaseURL(), QUrl(configured));
}

void TelemetryManagerConfigurationTest::testMode() {
    TelemetryManagerConfiguration c(u"APP"_s);
    QVERIFY(!c.testMode());
    c.setTestMode(true);
    QVERIFY(c.testMode());
    QCOMPARE(c.rawTestMode(), std::optional<bool>(true));
}

void TelemetryManagerConfigurationTest::previewModeFollowsEnvironment_data() {
    QTest::addColumn<std::optional<QByteArray>>("value");
    QTest::addColumn<bool>("preview");
    QTest::newRow("1") << std::optional<QByteArray>("1") << true;
    QTest::newRow("0") << std::optional<QByteArray>("0") << false;
    QTest::newRow("true") << std::optional<QByteArray>("true") << false;
    QTest::newRow("unset") << std::optional<QByteArray>() << false;
}

void TelemetryManagerConfigurationTest::previewModeFollowsEnvironment() {
    QFETCH(std::optional<QByteArray>, value);
    QFETCH(bool, preview);
    const TelemetryManagerConfiguration c(u"APP"_s);
    QVERIFY(!c.swiftUIPreviewMode());
    // Set after construction: the environment is read on every query.
    if (value) {
        qputenv("XCODE_RUNNING_FOR_PREVIEWS", *value);
    }
    QCOMPARE(c.swiftUIPreviewMode(), preview);
}

void TelemetryManagerConfigurationTest::setPreviewModeIgnoresEnvironment() {
    qputenv("XCODE_RUNNING_FOR_PREVIEWS", "1");
    TelemetryManagerConfiguration c(u"APP"_s);
    c.setSwiftUIPreviewMode(false);
    QVERIFY(!c.swiftUIPreviewMode());
    QCOMPARE(c.rawSwiftUIPreviewMode(), std::optional<bool>(false));
}

void TelemetryManagerConfigurationTest::sessionIDWithSwitchesOffOnlyStores() {
    TelemetryManagerConfiguration c(u"APP"_s);
    c.setSendNewSessionBeganSignal(false);
    c.setSessionStatsEnabled(false);
    const QUuid id = QUuid::createUuid();
    c.setSessionID(id);
    QCOMPARE(c.sessionID(), id);
}

void TelemetryManagerConfigurationTest::copyIsIndependent() {
    TelemetryManagerConfiguration original(u"APP"_s);
    original.setDefaultUser(u"alice"_s);
    TelemetryManagerConfiguration copy(original);
    copy.setDefaultUser(u"bob"_s);
    QCOMPARE(original.defaultUser(), std::optional<QString>(u"alice"_s));
    QCOMPARE(copy.sessionID(), original.sessionID());
}

QTEST_GUILESS_MAIN(TelemetryManagerConfigurationTest)
#include "tst_telemetrymanagerconfiguration.moc"
