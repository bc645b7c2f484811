#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
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
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimeZone>
#include <limits>

using namespace Qt::StringLiterals;

using signalpost::SessionManager;
using signalpost::Signalpost;
using signalpost::TelemetryManagerConfiguration;
using signalpost::testsupport::IngestStandIn;
using Sessions = QList<SessionManager::StoredSession>;

Q_DECLARE_METATYPE(SessionManager::StoredSession)

namespace {

// 2024-03-01 12:00:00 UTC.
const QDateTime start(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
constexpr qint64 day = 86400;

// A defaults file and a clock the test moves.
struct Fixture {
    QTemporaryDir dir;
    QString path = dir.filePath(u"suite.ini"_s);
    std::shared_ptr<QDateTime> now = std::make_shared<QDateTime>(start);

    std::unique_ptr<SessionManager> manager() const {
        auto clock = now;
        return std::make_unique<SessionManager>(path, [clock] { return *clock; });
    }
    QSettings settings() const { return QSettings(path, QSettings::IniFormat); }
    void store(const QString& key, const QVariant& value) const {
        QSettings s(path, QSettings::IniFormat);
        s.setValue(key, value);
    }
    QVariant stored(const QString& key) const { return settings().value(key); }
    void advance(qint64 msecs) const { *now = now->addMSecs(msecs); }
};

QByteArray sessionsJson(const QList<qint64>& startedAtSeconds, const QList<qint64>& durations) {
    QJsonArray array;
    for (qsizetype i = 0; i < startedAtSeconds.size(); ++i) {
        array.append(
            QJsonObject{{"startedAt", startedAtSeconds[i]}, {"durationInSeconds", durations[i]}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

qint64 seconds(const QDateTime& moment) {
    return moment.toSecsSinceEpoch();
}

} // namespace

class SessionManagerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutStoreFiguresAreEmptyAndNothingIsWritten();
    void averageAndTotal_data();
    void averageAndTotal();
    void ninetyDayRulePrunesAndCounts();
    void activeSecondsAreStoredOnceAWholeSecondIsReached_data();
    void activeSecondsAreStoredOnceAWholeSecondIsReached();
    void inactiveTimeIsNotCounted();
    void daysOfUseAreRecordedOncePerDay();
    void unreadableValuesReadAsEmptyOrZero_data();
    void unreadableValuesReadAsEmptyOrZero();
    void firstSessionAnnouncesTheInstallOnce();
    void countsStopAtTheLargestNumber_data();
    void countsStopAtTheLargestNumber();
    void todayIsStoredBeforeTheFirstSignal();
    void prunedSessionsAreCountedBeforeTheFirstSignal();
    void activityWithoutASessionIsKeptUnderTheDistantPast();
    void updatesWhileTheEventLoopRuns();
    void cleanupTestCase() { Signalpost::terminate(); }
};

void SessionManagerTest::withoutStoreFiguresAreEmptyAndNothingIsWritten() {
    // No manager is initialised yet in this process, so there is no analytics suite.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QStringList before = QDir(config).entryList(QDir::Files);
    SessionManager manager;
    QVERIFY(!manager.store());
    manager.startNewSession();
    QVERIFY(manager.isDurationTimerRunning());
    manager.waitForPersistence();
    QCOMPARE(manager.averageSessionSeconds(), -1);
    QCOMPARE(manager.totalSessionsCount(), 0);
    QCOMPARE(manager.distinctDaysUsed(), QStringList());
    QCOMPARE(QDir(config).entryList(QDir::Files), before);
}

void SessionManagerTest::averageAndTotal_data() {
    QTest::addColumn<QList<qint64>>("durations");
    QTest::addColumn<qint64>("average");
    QTest::newRow("newest left out of 10, 20, 7") << QList<qint64>{10, 20, 7} << qint64(15);
    QTest::newRow("truncated mean of 10, 15, 7") << QList<qint64>{10, 15, 7} << qint64(12);
    QTest::newRow("one session") << QList<qint64>{9} << qint64(9);
    QTest::newRow("none") << QList<qint64>{} << qint64(-1);
}

void SessionManagerTest::averageAndTotal() {
    QFETCH(QList<qint64>, durations);
    QFETCH(qint64, average);
    Fixture f;
    QList<qint64> starts;
    for (qsizetype i = 0; i < durations.size(); ++i) {
        starts.append(seconds(start) - 1000 + i * 100);
    }
    f.store("recentSessions", sessionsJson(starts, durations));
    f.store("deletedSessionsCount", 4);
    const auto manager = f.manager();
    QCOMPARE(manager->averageSessionSeconds(), average);
    QCOMPARE(manager->totalSessionsCount(), durations.size() + 4);
}

void SessionManagerTest::ninetyDayRulePrunesAndCounts() {
    Fixture f;
    const qint64 now = seconds(start);
    const QByteArray stored =
        sessionsJson({now - 90 * day, now - 90 * day + 1, now - 60}, {30, 40, 50});
    f.store("recentSessions", stored);
    f.store("deletedSessionsCount", 2);
    const auto manager = f.manager();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(),
             (Sessions{{(now - 90 * day + 1) * 1000, 40}, {(now - 60) * 1000, 50}}));
    QCOMPARE(f.stored("deletedSessionsCount").toLongLong(), 3);
    // The pruned list is written with the next session update, not now.
    QCOMPARE(f.stored("recentSessions").toByteArray(), stored);
}

void SessionManagerTest::activeSecondsAreStoredOnceAWholeSecondIsReached_data() {
    QTest::addColumn<qint64>("activeMSecs");
    QTest::addColumn<Sessions>("expected");
    const qint64 startMSecs = start.toMSecsSinceEpoch();
    QTest::newRow("1.9 s stored as 1") << qint64(1900) << Sessions{{startMSecs, 1}};
    QTest::newRow("0.9 s not stored") << qint64(900) << Sessions{};
    QTest::newRow("3.5 s stored as 3") << qint64(3500) << Sessions{{startMSecs, 3}};
}

void SessionManagerTest::activeSecondsAreStoredOnceAWholeSecondIsReached() {
    QFETCH(qint64, activeMSecs);
    QFETCH(Sessions, expected);
    Fixture f;
    const auto manager = f.manager();
    manager->startNewSession();
    f.advance(activeMSecs);
    manager->updateSessionDuration();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(), expected);
    const auto decoded = SessionManager::decodeSessions(f.stored("recentSessions").toByteArray());
    QCOMPARE(decoded.value_or(Sessions{}), expected);
}

void SessionManagerTest::inactiveTimeIsNotCounted() {
    Fixture f;
    const auto manager = f.manager();
    manager->startNewSession();
    f.advance(600);
    manager->handleDidEnterBackgroundNotification();
    QVERIFY(!manager->isDurationTimerRunning());
    f.advance(3600 * 1000);
    manager->handleWillEnterForegroundNotification();
    QVERIFY(manager->isDurationTimerRunning());
    f.advance(600);
    manager->updateSessionDuration();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(), (Sessions{{start.toMSecsSinceEpoch(), 1}}));

    // A second session gets an entry of its own; the first keeps its figure.
    manager->startNewSession();
    f.advance(2000);
    manager->updateSessionDuration();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(),
             (Sessions{{start.toMSecsSinceEpoch(), 1}, {start.toMSecsSinceEpoch() + 3601200, 2}}));
}

void SessionManagerTest::daysOfUseAreRecordedOncePerDay() {
    Fixture f;
    const QString today = SessionManager::dayText(start);
    f.manager()->waitForPersistence();
    f.manager()->waitForPersistence();
    QCOMPARE(f.manager()->distinctDaysUsed(), QStringList{today});
    f.advance(day * 1000);
    f.manager()->waitForPersistence();
    QCOMPARE(f.manager()->distinctDaysUsed(),
             (QStringList{today, SessionManager::dayText(start.addDays(1))}));
    QCOMPARE(
        SessionManager::countDaysSince("2024-03-02", {"2024-02-01", "2024-03-02", "2024-03-05"}),
        2);
}

void SessionManagerTest::unreadableValuesReadAsEmptyOrZero_data() {
    QTest::addColumn<QVariant>("recentSessions");
    QTest::addColumn<QVariant>("deletedSessionsCount");
    QTest::addColumn<QVariant>("distinctDaysUsed");
    QTest::newRow("text instead of data") << QVariant(u"[]"_s) << QVariant("many") << QVariant(5);
    QTest::newRow("not JSON") << QVariant(QByteArray("{oops")) << QVariant() << QVariant();
    QTest::newRow("array of text")
        << QVariant(QByteArray("[\"a\"]")) << QVariant(1.5) << QVariant();
    QTest::newRow("fractional duration")
        << QVariant(QByteArray("[{\"startedAt\":1709294000,\"durationInSeconds\":1.5}]"))
        << QVariant() << QVariant();
    QTest::newRow("start beyond any clock")
        << QVariant(QByteArray("[{\"startedAt\":1e300,\"durationInSeconds\":3}]")) << QVariant()
        << QVariant();
}

void SessionManagerTest::unreadableValuesReadAsEmptyOrZero() {
    QFETCH(QVariant, recentSessions);
    QFETCH(QVariant, deletedSessionsCount);
    QFETCH(QVariant, distinctDaysUsed);
    Fixture f;
    f.store("recentSessions", recentSessions);
    if (deletedSessionsCount.isValid()) {
        f.store("deletedSessionsCount", deletedSessionsCount);
    }
    if (distinctDaysUsed.isValid()) {
        f.store("distinctDaysUsed", distinctDaysUsed);
    }
    const auto manager = f.manager();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(), Sessions{});
    QCOMPARE(manager->averageSessionSeconds(), -1);
    QCOMPARE(manager->totalSessionsCount(), 0);
    // A list that could not be read starts afresh with today.
    QCOMPARE(manager->distinctDaysUsed(), QStringList{SessionManager::dayText(start)});
}

void SessionManagerTest::firstSessionAnnouncesTheInstallOnce() {
    IngestStandIn ingest;
    QFile::remove(signalpost::SignalCache::defaultCacheFilePath());
    auto configuration = std::make_shared<TelemetryManagerConfiguration>(
        u"app-sessions"_s, std::nullopt, ingest.baseURL());
    configuration->setTransmitInterval(0.05);
    configuration->setLogHandler(std::nullopt);
    configuration->setSendNewSessionBeganSignal(false);
    configuration->setSessionStatsEnabled(false);
    Signalpost::initialize(configuration);

    Fixture f;
    const auto manager = f.manager();
    manager->startNewSession();
    f.advance(1500);
    manager->updateSessionDuration();
    manager->waitForPersistence();
    QCOMPARE(f.stored("firstSessionDate").toString(), SessionManager::dayText(start));
    // A session is stored now, so this one is no first session.
    f.advance(day * 1000);
    manager->startNewSession();
    manager->waitForPersistence();
    QCOMPARE(f.stored("firstSessionDate").toString(), SessionManager::dayText(start));

    // Whatever was sent before the marker has arrived once the marker has (bodies built at
    // the same time may swap places).
    Signalpost::signal(u"marker"_s);
    const auto markerArrived = [&] {
        const QJsonArray bodies = ingest.allBodies();
        return std::any_of(bodies.begin(), bodies.end(), [](const QJsonValue& body) {
            return body.toObject().value("type") == u"marker"_s;
        });
    };
    QTRY_VERIFY(markerArrived());
    QStringList types;
    QString firstSessionDate;
    for (const QJsonValue& body : ingest.allBodies()) {
        types.append(body.toObject().value("type").toString());
        if (types.last() == u"Signalpost.Acquisition.newInstallDetected"_s) {
            firstSessionDate = body.toObject()
                                   .value("payload")
                                   .toObject()
                                   .value("Signalpost.Acquisition.firstSessionDate")
                                   .toString();
        }
    }
    types.sort();
    QCOMPARE(types, (QStringList{"Signalpost.Acquisition.newInstallDetected", "marker"}));
    QCOMPARE(firstSessionDate, SessionManager::dayText(start));
    // Closes the client's connection before the stand-in stops.
    Signalpost::terminate();
}

void SessionManagerTest::countsStopAtTheLargestNumber_data() {
    QTest::addColumn<QString>("deletedSessionsCount");
    QTest::addColumn<qint64>("sessionAgeSeconds");
    QTest::addColumn<QString>("storedAfter");
    QTest::addColumn<qint64>("total");
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    QTest::newRow("at the limit, one session kept")
        << u"9223372036854775807"_s << qint64(60) << u"9223372036854775807"_s << largest;
    QTest::newRow("at the limit, one session pruned")
        << u"9223372036854775807"_s << 91 * day << u"9223372036854775807"_s << largest;
    QTest::newRow("one below the limit, two sessions")
        << u"9223372036854775806"_s << qint64(60) << u"9223372036854775806"_s << largest;
    QTest::newRow("the smallest number")
        << u"-9223372036854775808"_s << qint64(60) << u"-9223372036854775808"_s
        << std::numeric_limits<qint64>::min() + 2;
}

void SessionManagerTest::countsStopAtTheLargestNumber() {
    QFETCH(QString, deletedSessionsCount);
    QFETCH(qint64, sessionAgeSeconds);
    QFETCH(QString, storedAfter);
    QFETCH(qint64, total);
    Fixture f;
    const qint64 now = seconds(start);
    f.store("recentSessions", sessionsJson({now - sessionAgeSeconds, now - 30}, {5, 6}));
    f.store("deletedSessionsCount", deletedSessionsCount);
    const auto manager = f.manager();
    manager->waitForPersistence();
    QCOMPARE(f.stored("deletedSessionsCount").toString(), storedAfter);
    QCOMPARE(manager->totalSessionsCount(), total);
}

void SessionManagerTest::todayIsStoredBeforeTheFirstSignal() {
    Fixture f;
    f.store("distinctDaysUsed", QStringList{u"2024-02-01"_s, u"2024-02-02"_s});
    const auto manager = f.manager();
    // Read as the first signal's payload reads it: no waiting for the persistence thread.
    const QSettings settings = f.settings();
    QCOMPARE(SessionManager::distinctDaysUsed(&settings),
             (QStringList{u"2024-02-01"_s, u"2024-02-02"_s, SessionManager::dayText(start)}));
}

void SessionManagerTest::prunedSessionsAreCountedBeforeTheFirstSignal() {
    const qint64 now = seconds(start);
    // The write used to race the first read; a lost race shows within a few rounds.
    for (int round = 0; round < 20; ++round) {
        Fixture f;
        f.store("recentSessions",
                sessionsJson({-62135596800, now - 100 * day, now - 60}, {7, 30, 50}));
        f.store("deletedSessionsCount", 2);
        const auto manager = f.manager();
        // Read as the first signal's payload reads it: no waiting for the persistence thread.
        const QSettings settings = f.settings();
        QCOMPARE(settings.value("deletedSessionsCount").toLongLong(), 4);
        QCOMPARE(manager->totalSessionsCount(&settings), 5);
        QCOMPARE(manager->totalSessionsCount(), 5);
    }
}

// With session statistics off, as the app runs, no session is ever started: the active time
// accumulates in an entry under the distant past, which the next start removes and counts.
void SessionManagerTest::activityWithoutASessionIsKeptUnderTheDistantPast() {
    Fixture f;
    const QString firstDay = SessionManager::dayText(start);
    {
        const auto manager = f.manager();
        manager->handleWillEnterForegroundNotification();
        QVERIFY(manager->isDurationTimerRunning());
        f.advance(2500);
        manager->updateSessionDuration();
        manager->waitForPersistence();
        QCOMPARE(manager->recentSessions(), (Sessions{{-62135596800000, 2}}));
        QCOMPARE(f.stored("recentSessions").toByteArray(),
                 R"([{"durationInSeconds":2,"startedAt":-62135596800}])");
        QCOMPARE(manager->totalSessionsCount(), 1);
        QCOMPARE(manager->averageSessionSeconds(), 2);
        QVERIFY(!f.stored("deletedSessionsCount").isValid());
        QVERIFY(!f.stored("firstSessionDate").isValid());
    }

    // The next start, a day later.
    f.advance(day * 1000);
    const auto manager = f.manager();
    QCOMPARE(manager->recentSessions(), Sessions{});
    QCOMPARE(f.stored("deletedSessionsCount").toLongLong(), 1);
    QCOMPARE(manager->totalSessionsCount(), 1);
    QCOMPARE(manager->averageSessionSeconds(), -1);
    QCOMPARE(manager->distinctDaysUsed(),
             (QStringList{firstDay, SessionManager::dayText(start.addDays(1))}));
    manager->handleWillEnterForegroundNotification();
    f.advance(1000);
    manager->updateSessionDuration();
    manager->waitForPersistence();
    QCOMPARE(manager->recentSessions(), (Sessions{{-62135596800000, 1}}));
    QCOMPARE(f.stored("recentSessions").toByteArray(),
             R"([{"durationInSeconds":1,"startedAt":-62135596800}])");
    QCOMPARE(manager->totalSessionsCount(), 2);
}

// Every second while the window is active a session update is written; the event loop runs
// meanwhile and delivers what the settings objects post to themselves.
void SessionManagerTest::updatesWhileTheEventLoopRuns() {
    Fixture f;
    const auto manager = f.manager();
    manager->startNewSession();
    for (int second = 1; second <= 200; ++second) {
        f.advance(1000);
        manager->updateSessionDuration();
        QCoreApplication::processEvents();
    }
    manager->waitForPersistence();
    QCoreApplication::sendPostedEvents();
    const Sessions expected{{start.toMSecsSinceEpoch(), 200}};
    QCOMPARE(manager->recentSessions(), expected);
    QCOMPARE(SessionManager::decodeSessions(f.stored("recentSessions").toByteArray())
                 .value_or(Sessions{}),
             expected);
}

QTEST_GUILESS_MAIN(SessionManagerTest)
#include "tst_sessionmanager.moc"
