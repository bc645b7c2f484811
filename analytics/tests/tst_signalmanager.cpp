#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/pipeline/SignalManager.h"
#include "analytics/tests/LogRecorder.h"
#include "tests/support/IngestStandIn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <limits>

using namespace Qt::StringLiterals;

using signalpost::SignalCache;
using signalpost::SignalManager;
using signalpost::SignalPostBody;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;
using Configuration = std::shared_ptr<TelemetryManagerConfiguration>;

namespace {

QList<SignalPostBody> bodies(int count, const QString& prefix = u"cached"_s) {
    QList<SignalPostBody> list;
    for (int i = 0; i < count; ++i) {
        SignalPostBody b;
        b.receivedAt = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), QTimeZone::utc());
        b.appID = u"APP"_s;
        b.clientUser = u"user"_s;
        b.sessionID = u"SESSION"_s;
        b.type = prefix + QString::number(i);
        b.isTestMode = u"false"_s;
        list.append(b);
    }
    return list;
}

// Leaves bodies where the next manager's cache reads them at construction.
void preloadCacheFile(const QList<SignalPostBody>& list) {
    QDir().mkpath(QFileInfo(SignalCache::defaultCacheFilePath()).absolutePath());
    QFile file(SignalCache::defaultCacheFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(*SignalPostBody::encodeArray(list, SignalPostBody::DateForm::referenceDate));
}

QStringList typesOf(const QJsonArray& array) {
    QStringList types;
    for (const QJsonValue& value : array) {
        types.append(value.toObject().value(QLatin1String("type")).toString());
    }
    return types;
}

QStringList typesOf(const QList<SignalPostBody>& list) {
    QStringList types;
    for (const auto& b : list) {
        types.append(b.type);
    }
    return types;
}

// Answers every connection with bytes that are not HTTP, or closes it unanswered.
class MisbehavingServer : public QTcpServer {
public:
    explicit MisbehavingServer(QByteArray answer)
        : m_answer(std::move(answer)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (!m_answer.isEmpty()) {
                        socket->write(m_answer);
                    }
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    QByteArray m_answer;
};

class EchoEnricher : public signalpost::SignalEnricher {
public:
    QMap<QString, QString> enrich(const QString& signalType,
                                  const std::optional<QString>& customUserID,
                                  std::optional<double> floatValue) const override {
        return {{"locale", "enriched"},
                {"source", "enricher:" + signalType + ":" + customUserID.value_or("none") + ":" +
                               QString::number(floatValue.value_or(-1))}};
    }
};

class OverridingEnricher : public signalpost::SignalEnricher {
public:
    QMap<QString, QString> enrich(const QString&, const std::optional<QString>&,
                                  std::optional<double>) const override {
        return {{"source", "second"}};
    }
};

} // namespace

class SignalManagerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void sendsQueuedBodiesInBatchesOfHundred();
    void emptyCacheMakesNoRequest();
    void requestIsJsonPostToIngestAddress();
    void answerDecidesFateOfBatch_data();
    void answerDecidesFateOfBatch();
    void failuresBackOffAndSuccessResets();
    void sendTimerDelay_data();
    void sendTimerDelay();
    void unparseableAddressKeepsBatch_data();
    void unparseableAddressKeepsBatch();
    void transportFailureKeepsBatch_data();
    void transportFailureKeepsBatch();
    void unansweredRequestDoesNotHoldUpShutdown();
    void workerBusyAtShutdownIsDeletedAllTheSame();
    void buildsBodyFromSignal();
    void nonFiniteFloatValueIsLeftOut();
    void runningCacheKeepsItsLimit();
    void defaultUserWithoutSuite();
    // Last: the application quits only once per process.
    void cacheCarriedAcrossTwoLifetimes();

private:
    Configuration configuration(const QUrl& base, double transmitInterval);
    std::unique_ptr<SignalManager> manager(const Configuration& configuration);

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
};

void SignalManagerTest::init() {
    QFile::remove(SignalCache::defaultCacheFilePath());
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
}

void SignalManagerTest::cleanup() {
    QThreadPool::globalInstance()->waitForDone();
    m_ingest.reset();
}

Configuration SignalManagerTest::configuration(const QUrl& base, double transmitInterval) {
    auto c = std::make_shared<TelemetryManagerConfiguration>(u"APP"_s, u"salt"_s, base);
    c->setTransmitInterval(transmitInterval);
    c->setMaxBackoffInterval(transmitInterval * 4);
    c->setLogHandler(m_log.handler());
    c->setDefaultUser(u"tester"_s);
    c->setSendNewSessionBeganSignal(false);
    c->setSessionStatsEnabled(false);
    return c;
}

std::unique_ptr<SignalManager> SignalManagerTest::manager(const Configuration& configuration) {
    return std::make_unique<SignalManager>(configuration);
}

void SignalManagerTest::sendsQueuedBodiesInBatchesOfHundred() {
    preloadCacheFile(bodies(250));
    const auto m = manager(configuration(m_ingest->baseURL(), 0.05));
    QTRY_COMPARE(m_ingest->allBodies().size(), 250);

    // The start-up attempt and the first timed one may overlap, so neither the order of the
    // batches nor the counts logged beside them are fixed: only that every body goes once, in
    // batches of at most a hundred, the oldest popped first.
    QList<int> sizes;
    for (const auto& request : m_ingest->requests()) {
        sizes.append(request.bodies().size());
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{50, 100, 100}));
    QStringList sent = typesOf(m_ingest->allBodies());
    QStringList expected = typesOf(bodies(250));
    sent.sort();
    expected.sort();
    QCOMPARE(sent, expected);
    for (const auto& request : m_ingest->requests()) {
        const QStringList batch = typesOf(request.bodies());
        // A batch is a run of neighbours in the queue.
        const qsizetype first = typesOf(bodies(250)).indexOf(batch.first());
        QCOMPARE(batch, typesOf(bodies(250)).mid(first, batch.size()));
    }
    QStringList logged;
    for (const QString& line : m_log.linesStartingWith("INFO Sending ")) {
        logged.append(line.section(QLatin1Char(' '), 0, 3));
    }
    logged.sort();
    QCOMPARE(logged, (QStringList{"INFO Sending 100 signals", "INFO Sending 100 signals",
                                  "INFO Sending 50 signals"}));
}

void SignalManagerTest::emptyCacheMakesNoRequest() {
    const auto m = manager(configuration(m_ingest->baseURL(), 0.02));
    QTRY_VERIFY(m_log.linesStartingWith("DEBUG Current signal cache count: 0").size() >= 4);
    QCOMPARE(m_ingest->requestCount(), 0);
    QVERIFY(m_log.linesStartingWith("INFO Sending").isEmpty());
}

void SignalManagerTest::requestIsJsonPostToIngestAddress() {
    preloadCacheFile(bodies(2));
    const auto c = configuration(m_ingest->baseURL(), 3600);
    c->setIngestNamespace(u"team"_s);
    const auto m = manager(c);
    QTRY_COMPARE(m_ingest->requestCount(), 1);
    const auto request = m_ingest->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, u"/v2/namespace/team/"_s);
    QCOMPARE(request.contentType, QByteArray("application/json"));
    QCOMPARE(request.body, *SignalPostBody::encodeArray(bodies(2), SignalPostBody::DateForm::wire));
    // The body as sent is logged for debugging.
    QTRY_VERIFY(m_log.lines().contains("DEBUG " + QString::fromUtf8(request.body)));
}

void SignalManagerTest::answerDecidesFateOfBatch_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("putBack");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("200") << 200 << false << "DEBUG {\"accepted\":true}";
    QTest::newRow("202") << 202 << false << "DEBUG {\"accepted\":true}";
    const QString dropping = u"ERROR Dropping 5 signal(s): rejected by server "_s;
    QTest::newRow("400") << 400 << false << dropping + "Bad Request (400)";
    QTest::newRow("401") << 401 << false << dropping + "Unauthorized (401)";
    QTest::newRow("403") << 403 << false << dropping + "Forbidden (403)";
    QTest::newRow("404") << 404 << false << dropping + "Not Found (404)";
    QTest::newRow("413") << 413 << false << dropping + "Payload Too Large (413)";
    QTest::newRow("422") << 422 << false << dropping + "Unprocessable Entity (422)";
    QTest::newRow("501") << 501 << false << dropping + "Not Implemented (501)";
    QTest::newRow("505") << 505 << false << dropping + "HTTP Version Not Supported (505)";
    const QString retry = u"DEBUG Failed to send events (status %1), will try again "
                          "later"_s;
    QTest::newRow("500") << 500 << true << retry.arg(500);
    QTest::newRow("503") << 503 << true << retry.arg(503);
    QTest::newRow("429") << 429 << true << retry.arg(429);
    QTest::newRow("408") << 408 << true << retry.arg(408);
    QTest::newRow("402") << 402 << true << retry.arg(402);
}

void SignalManagerTest::answerDecidesFateOfBatch() {
    QFETCH(int, status);
    QFETCH(bool, putBack);
    QFETCH(QString, logLine);
    m_ingest->answerWith(status);
    preloadCacheFile(bodies(5));
    const auto c = configuration(m_ingest->baseURL(), 0.02);
    c->setMaxBackoffInterval(0.05);
    const auto m = manager(c);
    QTRY_VERIFY(m_ingest->requestCount() >= 1);
    QTRY_VERIFY(m_log.lines().contains(logLine));

    m->processSignal("marker0", {}, {}, {}, c);
    QTRY_VERIFY(m_ingest->requestCount() >= 2);
    // The second attempt was armed by the first one's follow-up.
    const QStringList second = typesOf(m_ingest->requests().at(1).bodies());
    if (putBack) {
        for (const QString& type : typesOf(bodies(5))) {
            QVERIFY2(second.contains(type), qPrintable(type));
        }
        QVERIFY(m->consecutiveFailures() >= 1);
    } else {
        QCOMPARE(second, QStringList{"marker0"});
        QCOMPARE(m->consecutiveFailures(), 0);
    }
}

void SignalManagerTest::failuresBackOffAndSuccessResets() {
    m_ingest->answerWith(500);
    preloadCacheFile(bodies(3));
    const auto c = configuration(m_ingest->baseURL(), 0.01);
    c->setMaxBackoffInterval(0.04);
    const auto m = manager(c);
    QTRY_VERIFY(m->consecutiveFailures() >= 6);
    m_ingest->answerWith(204);
    QTRY_COMPARE(m->consecutiveFailures(), 0);

    const auto requests = m_ingest->requests();
    QVERIFY(requests.size() >= 7);
    // The same batch every time: put back after each failure, nothing lost or doubled.
    for (const auto& request : requests) {
        QCOMPARE(typesOf(request.bodies()), typesOf(bodies(3)));
    }
    QCOMPARE(requests.last().answeredStatus, 204);
}

void SignalManagerTest::sendTimerDelay_data() {
    QTest::addColumn<double>("interval");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("failures");
    QTest::addColumn<double>("delay");
    QTest::newRow("no failure") << 10.0 << 300.0 << 0 << 10.0;
    QTest::newRow("1") << 10.0 << 300.0 << 1 << 20.0;
    QTest::newRow("2") << 10.0 << 300.0 << 2 << 40.0;
    QTest::newRow("3") << 10.0 << 300.0 << 3 << 80.0;
    QTest::newRow("4") << 10.0 << 300.0 << 4 << 160.0;
    QTest::newRow("5 reaches the maximum") << 10.0 << 300.0 << 5 << 300.0;
    QTest::newRow("6 stays") << 10.0 << 300.0 << 6 << 300.0;
    QTest::newRow("huge count stays") << 10.0 << 300.0 << 100000 << 300.0;
    QTest::newRow("maximum below interval") << 10.0 << 5.0 << 0 << 5.0;
}

void SignalManagerTest::sendTimerDelay() {
    QFETCH(double, interval);
    QFETCH(double, maximum);
    QFETCH(int, failures);
    QFETCH(double, delay);
    QCOMPARE(SignalManager::sendTimerDelay(interval, maximum, failures), delay);
}

void SignalManagerTest::unparseableAddressKeepsBatch_data() {
    QTest::addColumn<QUrl>("base");
    QTest::addColumn<std::optional<QString>>("ns");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("namespace with a space")
        << QUrl() << std::optional<QString>("my team")
        << "ERROR Unable to construct signal API URL for namespace my team";
    QTest::newRow("invalid base, no namespace")
        << QUrl("http://[::1") << std::optional<QString>()
        << "ERROR Unable to construct signal API URL for namespace nil";
}

void SignalManagerTest::unparseableAddressKeepsBatch() {
    QFETCH(QUrl, base);
    QFETCH(std::optional<QString>, ns);
    QFETCH(QString, logLine);
    preloadCacheFile(bodies(4));
    const auto c = configuration(base.isEmpty() ? m_ingest->baseURL() : base, 0.02);
    c->setIngestNamespace(ns);
    const auto m = manager(c);
    QTRY_VERIFY(m->consecutiveFailures() >= 2);
    QVERIFY(m_log.lines().contains(logLine));
    QVERIFY(m_log.lines().contains("ERROR Invalid endpoint URL"));
    QCOMPARE(m_ingest->requestCount(), 0);

    // Settings are read at every attempt: mended, the kept batch goes out.
    c->setApiBaseURL(m_ingest->baseURL());
    c->setIngestNamespace(std::nullopt);
    QTRY_COMPARE(m_ingest->requestCount(), 1);
    QCOMPARE(typesOf(m_ingest->allBodies()), typesOf(bodies(4)));
}

void SignalManagerTest::transportFailureKeepsBatch_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("connection closed unanswered") << "close";
    QTest::newRow("answer that is not HTTP") << "garbage";
    QTest::newRow("nobody listening") << "unreachable";
}

void SignalManagerTest::transportFailureKeepsBatch() {
    QFETCH(QString, kind);
    MisbehavingServer server(kind == "garbage" ? QByteArray("\x01\x02 hello, not HTTP\r\n\r\n")
                                               : QByteArray());
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QUrl base(u"http://127.0.0.1:%1/"_s.arg(server.serverPort()));
    if (kind == "unreachable") {
        server.close();
    }
    preloadCacheFile(bodies(4));
    const auto c = configuration(base, 0.02);
    const auto m = manager(c);
    // QTRY turns the event loop that serves the misbehaving server.
    QTRY_VERIFY(m->consecutiveFailures() >= 2);
    QVERIFY(m_log.linesStartingWith("ERROR ").size() +
                m_log.linesStartingWith("DEBUG Failed to send events (status 0)").size() >=
            2);

    c->setApiBaseURL(m_ingest->baseURL());
    QTRY_COMPARE(m_ingest->requestCount(), 1);
    QCOMPARE(typesOf(m_ingest->allBodies()), typesOf(bodies(4)));
}

void SignalManagerTest::unansweredRequestDoesNotHoldUpShutdown() {
    m_ingest->holdAnswers(true);
    preloadCacheFile(bodies(2));
    auto m = manager(configuration(m_ingest->baseURL(), 0.02));
    QTRY_COMPARE(m_ingest->requestCount(), 1);
    m.reset();
    QCOMPARE(m_ingest->requestCount(), 1);
    m_ingest->holdAnswers(false);
}

void SignalManagerTest::workerBusyAtShutdownIsDeletedAllTheSame() {
    using signalpost::LogHandler;
    const auto c = configuration(m_ingest->baseURL(), 0.02);
    // The first timed attempt logs on the timer thread; held there, the worker is still in
    // its slot when the manager goes.
    const auto busy = std::make_shared<std::atomic<bool>>(false);
    QThread* const mainThread = QThread::currentThread();
    c->setLogHandler(LogHandler(
        LogHandler::LogLevel::debug, [busy, mainThread](LogHandler::LogLevel, const QString&) {
            if (QThread::currentThread() != mainThread && !busy->exchange(true)) {
                QThread::msleep(300);
            }
        }));
    auto m = manager(c);
    QTRY_VERIFY(busy->load());
    m.reset();
    // The worker was the configuration's last holder besides this test.
    QCOMPARE(c.use_count(), 1);
}

void SignalManagerTest::buildsBodyFromSignal() {
    const auto c = configuration(m_ingest->baseURL(), 0.02);
    c->setTestMode(true);
    c->setMetadataEnrichers(
        {std::make_shared<EchoEnricher>(), std::make_shared<OverridingEnricher>()});
    const auto m = manager(c);
    const QMap<QString, QString> parameters{{"locale", "param"}, {"screen", "editor"}};
    m->processSignal("custom", parameters, 2.5, u"alice"_s, c);
    m->processSignal("default", {}, {}, {}, c);
    QTRY_COMPARE(m_ingest->allBodies().size(), 2);

    QMap<QString, QJsonObject> byType;
    for (const QJsonValue& value : m_ingest->allBodies()) {
        byType.insert(value.toObject().value("type").toString(), value.toObject());
    }
    const QJsonObject custom = byType.value("custom");
    QCOMPARE(custom.value("appID").toString(), u"APP"_s);
    QCOMPARE(custom.value("clientUser").toString(), signalpost::sha256HexDigest("alice", "salt"));
    QCOMPARE(custom.value("sessionID").toString(),
             c->sessionID().toString(QUuid::WithoutBraces).toUpper());
    QCOMPARE(custom.value("floatValue").toDouble(), 2.5);
    QCOMPARE(custom.value("isTestMode").toString(), u"true"_s);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\+0000$")
                .match(custom.value("receivedAt").toString())
                .hasMatch());
    const QJsonObject payload = custom.value("payload").toObject();
    QCOMPARE(payload.value("locale").toString(), u"param"_s);
    QCOMPARE(payload.value("screen").toString(), u"editor"_s);
    QCOMPARE(payload.value("source").toString(), u"second"_s);

    const QJsonObject fallback = byType.value("default");
    QCOMPARE(fallback.value("clientUser").toString(),
             signalpost::sha256HexDigest("tester", "salt"));
    QVERIFY(!fallback.contains("floatValue"));
    QCOMPARE(fallback.value("payload").toObject().value("source").toString(), u"second"_s);
}

void SignalManagerTest::nonFiniteFloatValueIsLeftOut() {
    const auto c = configuration(m_ingest->baseURL(), 0.02);
    const auto m = manager(c);
    m->processSignal("measured", {}, std::numeric_limits<double>::infinity(), {}, c);
    m->processSignal("plain", {}, 1.0, {}, c);
    QTRY_COMPARE(m_ingest->allBodies().size(), 2);
    for (const QJsonValue& value : m_ingest->allBodies()) {
        const QJsonObject body = value.toObject();
        QCOMPARE(body.contains("floatValue"), body.value("type") == QLatin1String("plain"));
    }
    QVERIFY(m_log.lines().contains(
        "ERROR Dropping the float value of signal 'measured': not a finite number"));
}

void SignalManagerTest::runningCacheKeepsItsLimit() {
    const auto c = configuration(m_ingest->baseURL(), 3600);
    c->setCacheLimit(3);
    const auto m = manager(c);
    c->setCacheLimit(100);
    for (int i = 0; i < 5; ++i) {
        m->processSignal(u"s%1"_s.arg(i), {}, {}, {}, c);
    }
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    m->sendNextBatch();
    QTRY_COMPARE(m_ingest->requestCount(), 1);
    QCOMPARE(m_ingest->allBodies().size(), 3);
}

void SignalManagerTest::defaultUserWithoutSuite() {
    const auto c = configuration(m_ingest->baseURL(), 3600);
    c->setDefaultUser(std::nullopt);
    SignalManager detached(c, SignalManager::Mode::detached);
    const QString first = detached.defaultUserIdentifier();
    QVERIFY(!QUuid::fromString(first).isNull());
    QCOMPARE(first, first.toUpper());
    QVERIFY(detached.defaultUserIdentifier() != first);
    c->setDefaultUser(u"bob"_s);
    QCOMPARE(detached.defaultUserIdentifier(), u"bob"_s);
}

void SignalManagerTest::cacheCarriedAcrossTwoLifetimes() {
    m_ingest->answerWith(503);
    preloadCacheFile(bodies(5));
    const auto c = configuration(m_ingest->baseURL(), 3600);
    auto first = manager(c);
    // The first attempt fails and puts its batch back; the next is an hour away.
    QTRY_COMPARE(first->consecutiveFailures(), 1);
    first->processSignal("late0", {}, {}, {}, c);
    first->processSignal("late1", {}, {}, {}, c);
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(m_log.lines().contains("DEBUG appWillTerminate()"));
    QCOMPARE(m_log.linesStartingWith("INFO Saved Telemetry cache ").size(), 1);
    QVERIFY(m_log.linesStartingWith("INFO Saved Telemetry cache ")
                .first()
                .endsWith(" bytes of 7 signals"));
    QVERIFY(QFile::exists(SignalCache::defaultCacheFilePath()));
    first.reset();

    m_ingest->answerWith(200);
    const auto second = manager(c);
    QVERIFY(!QFile::exists(SignalCache::defaultCacheFilePath()));
    QTRY_COMPARE(m_ingest->requestCount(), 2);
    QStringList delivered = typesOf(m_ingest->requests().at(1).bodies());
    delivered.sort();
    QCOMPARE(delivered, (QStringList{"cached0", "cached1", "cached2", "cached3", "cached4", "late0",
                                     "late1"}));
}

QTEST_GUILESS_MAIN(SignalManagerTest)
#include "tst_signalmanager.moc"
