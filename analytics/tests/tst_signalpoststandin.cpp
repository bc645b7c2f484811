#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/payload/SessionManager.h"
#include "analytics/pipeline/SignalCache.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;

using signalpost::DefaultSignalPayload;
using signalpost::SessionManager;
using signalpost::Signalpost;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;

// On its own: the shared session statistics are built once per process, and what this checks
// is which moment builds them.
class SignalpostStandInTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void callsBeforeInitialisationLeaveSessionStatisticsToTheSuite();
    void cleanupTestCase() { Signalpost::terminate(); }

private:
    std::unique_ptr<IngestStandIn> m_ingest = std::make_unique<IngestStandIn>();
};

void SignalpostStandInTest::callsBeforeInitialisationLeaveSessionStatisticsToTheSuite() {
    const QString appID = u"app-standin-test"_s;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(folder);
    const QString suitePath = folder + "/" + Signalpost::defaultsSuiteName(appID) + ".ini";
    // Three sessions of an earlier launch, within the 90 days kept.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonArray stored{QJsonObject{{"startedAt", now - 3000}, {"durationInSeconds", 10}},
                            QJsonObject{{"startedAt", now - 2000}, {"durationInSeconds", 20}},
                            QJsonObject{{"startedAt", now - 1000}, {"durationInSeconds", 7}}};
    {
        QSettings suite(suitePath, QSettings::IniFormat);
        suite.setValue("recentSessions", QJsonDocument(stored).toJson(QJsonDocument::Compact));
    }

    // Before initialisation: the stand-in drops these, and must not build the statistics
    // over a suite that does not exist yet.
    Signalpost::signal(u"too_early"_s);
    Signalpost::generateNewSession();
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();

    QFile::remove(signalpost::SignalCache::defaultCacheFilePath());
    auto c = std::make_shared<TelemetryManagerConfiguration>(appID, u"salt"_s, m_ingest->baseURL());
    c->setTransmitInterval(3600);
    c->setLogHandler(std::nullopt);
    c->setDefaultUser(u"tester"_s);
    c->setSendNewSessionBeganSignal(false);
    c->setSessionStatsEnabled(false);
    Signalpost::initialize(c);

    QCOMPARE(SessionManager::shared().recentSessions().size(), 3);
    const QMap<QString, QString> payload = DefaultSignalPayload::parameters();
    QCOMPARE(payload.value("Signalpost.Retention.totalSessionsCount"), "3");
    QCOMPARE(payload.value("Signalpost.Retention.averageSessionSeconds"), "15");
    QCOMPARE(payload.value("Signalpost.Retention.previousSessionSeconds"), "20");
}

QTEST_GUILESS_MAIN(SignalpostStandInTest)
#include "tst_signalpoststandin.moc"
