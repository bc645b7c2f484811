#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/tests/LogRecorder.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;

using signalpost::SignalCache;
using signalpost::Signalpost;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;

// On its own: every initialisation starts a session half a second later on whichever manager
// is current then, so earlier initialisations in the same process would add sessions here.
class SignalpostSessionTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sessionsStartAndAnnounceThemselves();
    void cleanupTestCase() { Signalpost::terminate(); }

private:
    std::shared_ptr<TelemetryManagerConfiguration> configure();
    static void letSignalsReachTheCache();

    std::unique_ptr<IngestStandIn> m_ingest = std::make_unique<IngestStandIn>();
    LogRecorder m_log;
};

std::shared_ptr<TelemetryManagerConfiguration> SignalpostSessionTest::configure() {
    QFile::remove(SignalCache::defaultCacheFilePath());
    auto c = std::make_shared<TelemetryManagerConfiguration>(u"app-quillon-test"_s, u"salt"_s,
                                                             m_ingest->baseURL());
    c->setTransmitInterval(0.05);
    c->setLogHandler(m_log.handler());
    c->setDefaultUser(u"tester"_s);
    c->setSessionStatsEnabled(false);
    c->setSendNewSessionBeganSignal(true);
    return c;
}

void SignalpostSessionTest::letSignalsReachTheCache() {
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
}

void SignalpostSessionTest::sessionsStartAndAnnounceThemselves() {
    auto c = configure();
    const QUuid built = c->sessionID();
    Signalpost::initialize(c);
    // Half a second after initialisation the session drawn at construction is replaced.
    QTRY_VERIFY(c->sessionID() != built);
    const QUuid first = c->sessionID();
    QTRY_COMPARE(m_ingest->allBodies().size(), 1);

    c->setSessionID(first);
    c->setSessionID(first);
    // Bodies read the session when they are built, so build these before it changes.
    letSignalsReachTheCache();
    Signalpost::generateNewSession();
    QVERIFY(c->sessionID() != first);
    QTRY_COMPARE(m_ingest->allBodies().size(), 4);

    QStringList sessions;
    for (const QJsonValue& value : m_ingest->allBodies()) {
        QCOMPARE(value.toObject().value("type").toString(), u"Signalpost.Session.started"_s);
        sessions.append(value.toObject().value("sessionID").toString());
    }
    const QString firstText = first.toString(QUuid::WithoutBraces).toUpper();
    const QString lastText = c->sessionID().toString(QUuid::WithoutBraces).toUpper();
    QCOMPARE(sessions.count(firstText), 3);
    QCOMPARE(sessions.count(lastText), 1);
}

QTEST_GUILESS_MAIN(SignalpostSessionTest)
#include "tst_signalpostsession.moc"
