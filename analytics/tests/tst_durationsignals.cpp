#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/Signalpost.h"
#include "analytics/tests/LogRecorder.h"
#include "analytics/tests/SentSignals.h"
#include "analytics/tracking/DurationSignalTracker.h"
#include "tests/support/IngestStandIn.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QSet>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

using signalpost::DurationSignalTracker;
using signalpost::Signalpost;
using signalpost::testsupport::IngestStandIn;
using Parameters = QMap<QString, QString>;
using namespace std::chrono_literals;

namespace {

// A clock the test moves; readable from any thread.
class TestClock {
public:
    DurationSignalTracker::Clock function() {
        return [this] {
            QMutexLocker locker(&m_mutex);
            return m_now;
        };
    }
    void advance(std::chrono::microseconds step) {
        QMutexLocker locker(&m_mutex);
        m_now += step;
    }

private:
    QMutex m_mutex;
    std::chrono::system_clock::time_point m_now{std::chrono::hours(24 * 365 * 50)};
};

const QString durationKey = u"Signalpost.Signal.durationInSeconds"_s;

} // namespace

class DurationSignalsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void secondsAreCutToThousandths_data();
    void secondsAreCutToThousandths();
    void measurementIsSentWithMergedParameters();
    void stopWithoutRunningMeasurementSendsNothing_data();
    void stopWithoutRunningMeasurementSendsNothing();
    void inactiveTimeIsLeftOutUnlessIncluded_data();
    void inactiveTimeIsLeftOutUnlessIncluded();
    void applicationStateChangesMoveTheStart();
    void startsAndStopsFromSeveralThreads();

private:
    QJsonObject onlyBody();

    std::unique_ptr<IngestStandIn> m_ingest;
    LogRecorder m_log;
    TestClock m_clock;
};

void DurationSignalsTest::init() {
    sentsignals::removeClientFiles();
    m_ingest = std::make_unique<IngestStandIn>();
    m_log.clear();
    Signalpost::initialize(sentsignals::configuration(*m_ingest, m_log));
    DurationSignalTracker::shared().setClock(m_clock.function());
}

void DurationSignalsTest::cleanup() {
    Signalpost::terminate();
    QThreadPool::globalInstance()->waitForDone();
    sentsignals::removeClientFiles();
    m_ingest.reset();
}

QJsonObject DurationSignalsTest::onlyBody() {
    if (!QTest::qWaitFor([this] { return m_ingest->allBodies().size() >= 1; })) {
        return {};
    }
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    if (!QTest::qWaitFor([this] { return m_ingest->allBodies().size() >= 2; })) {
        return {};
    }
    const auto bodies = m_ingest->allBodies();
    if (bodies.size() != 2) {
        return {};
    }
    for (const QJsonValue& body : bodies) {
        if (body.toObject().value("type") != QLatin1String("marker")) {
            return body.toObject();
        }
    }
    return {};
}

void DurationSignalsTest::secondsAreCutToThousandths_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("cut, not rounded") << 1.23456 << "1.234";
    QTest::newRow("just below a thousandth") << 0.0009999 << "0.0";
    QTest::newRow("whole") << 2.0 << "2.0";
    QTest::newRow("three places") << 12.345 << "12.345";
    QTest::newRow("negative half") << -0.5 << "-0.5";
    QTest::newRow("negative, cut downwards") << -0.0001 << "-0.001";
    QTest::newRow("large") << 86400.9999 << "86400.999";
    QTest::newRow("zero") << 0.0 << "0.0";
}

void DurationSignalsTest::secondsAreCutToThousandths() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(DurationSignalTracker::secondsText(seconds), text);
}

void DurationSignalsTest::measurementIsSentWithMergedParameters() {
    Signalpost::startDurationSignal("export", {{"format", "pdf"}, {"pages", "3"}});
    m_clock.advance(1234560us);
    Signalpost::stopAndSendDurationSignal("export", {{"pages", "4"}}, 7.5, u"someone"_s);
    const QJsonObject body = onlyBody();
    QCOMPARE(body.value("type").toString(), u"export"_s);
    QCOMPARE(body.value("floatValue").toDouble(), 7.5);
    QCOMPARE(body.value("clientUser").toString(), signalpost::sha256HexDigest("someone", "salt"));
    QCOMPARE(sentsignals::payloadOf(body),
             (QJsonObject{{durationKey, "1.234"}, {"format", "pdf"}, {"pages", "4"}}));

    // A second start replaces the first, parameters included; a caller's own duration wins.
    Signalpost::startDurationSignal("import", {{"source", "file"}});
    m_clock.advance(5s);
    Signalpost::startDurationSignal("import", {{"source", "web"}});
    m_clock.advance(2s);
    Signalpost::stopAndSendDurationSignal("import");
    Signalpost::startDurationSignal("sync", {{durationKey, "start's"}});
    Signalpost::stopAndSendDurationSignal("sync");
    QTRY_COMPARE(m_ingest->allBodies().size(), 4);
    const QJsonArray bodies = m_ingest->allBodies();
    QCOMPARE(sentsignals::payloadOf(sentsignals::bodiesOfType(bodies, "import").value(0)),
             (QJsonObject{{durationKey, "2.0"}, {"source", "web"}}));
    QCOMPARE(sentsignals::payloadOf(sentsignals::bodiesOfType(bodies, "sync").value(0)),
             (QJsonObject{{durationKey, "start's"}}));
    QCOMPARE(m_log.linesStartingWith("ERROR"), QStringList());
}

void DurationSignalsTest::stopWithoutRunningMeasurementSendsNothing_data() {
    QTest::addColumn<QString>("history");
    QTest::newRow("never started") << "";
    QTest::newRow("already stopped") << "start stop";
    QTest::newRow("cancelled") << "start cancel";
    QTest::newRow("other name") << "start-other";
}

void DurationSignalsTest::stopWithoutRunningMeasurementSendsNothing() {
    QFETCH(QString, history);
    int sentBefore = 0;
    for (const QString& step : history.split(' ', Qt::SkipEmptyParts)) {
        if (step == "start") {
            Signalpost::startDurationSignal("upload");
        } else if (step == "start-other") {
            Signalpost::startDurationSignal("Upload");
        } else if (step == "stop") {
            Signalpost::stopAndSendDurationSignal("upload");
            ++sentBefore;
        } else {
            Signalpost::cancelDurationSignal("upload");
        }
    }
    Signalpost::stopAndSendDurationSignal("upload");
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_COMPARE(m_ingest->allBodies().size(), sentBefore + 1);
    QCOMPARE(sentsignals::bodiesOfType(m_ingest->allBodies(), "upload").size(), sentBefore);
    Signalpost::cancelDurationSignal("Upload");
}

void DurationSignalsTest::inactiveTimeIsLeftOutUnlessIncluded_data() {
    QTest::addColumn<bool>("includeBackgroundTime");
    QTest::addColumn<bool>("startWhileInactive");
    QTest::addColumn<QString>("seconds");
    // 3 s active, 10 s inactive, 2 s active.
    QTest::newRow("inactive time left out") << false << false << "5.0";
    QTest::newRow("inactive time included") << true << false << "15.0";
    // Started 4 s into the 10 inactive seconds, it is moved by the whole period: the 2 active
    // seconds less those 4.
    QTest::newRow("started while inactive") << false << true << "-2.0";
}

void DurationSignalsTest::inactiveTimeIsLeftOutUnlessIncluded() {
    QFETCH(bool, includeBackgroundTime);
    QFETCH(bool, startWhileInactive);
    QFETCH(QString, seconds);
    DurationSignalTracker& tracker = DurationSignalTracker::shared();
    if (!startWhileInactive) {
        Signalpost::startDurationSignal("edit", {}, includeBackgroundTime);
        m_clock.advance(3s);
        tracker.handleDidEnterBackgroundNotification();
        m_clock.advance(10s);
    } else {
        tracker.handleDidEnterBackgroundNotification();
        m_clock.advance(4s);
        Signalpost::startDurationSignal("edit", {}, includeBackgroundTime);
        m_clock.advance(6s);
    }
    tracker.handleWillEnterForegroundNotification();
    m_clock.advance(2s);
    // A second activation without a resignation moves nothing.
    tracker.handleWillEnterForegroundNotification();
    Signalpost::stopAndSendDurationSignal("edit");
    QCOMPARE(sentsignals::payloadOf(onlyBody()), (QJsonObject{{durationKey, seconds}}));
}

void DurationSignalsTest::applicationStateChangesMoveTheStart() {
    // The offscreen platform never makes the application inactive, so its notification is
    // raised here as the desktop would.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    Q_EMIT app->applicationStateChanged(Qt::ApplicationActive);
    Signalpost::startDurationSignal("write");
    m_clock.advance(1s);
    Q_EMIT app->applicationStateChanged(Qt::ApplicationInactive);
    m_clock.advance(4s);
    // Hidden after inactive is the same resignation, not a second one.
    Q_EMIT app->applicationStateChanged(Qt::ApplicationHidden);
    m_clock.advance(6s);
    Q_EMIT app->applicationStateChanged(Qt::ApplicationActive);
    m_clock.advance(1s);
    Signalpost::stopAndSendDurationSignal("write");
    QCOMPARE(sentsignals::payloadOf(onlyBody()), (QJsonObject{{durationKey, "2.0"}}));
}

void DurationSignalsTest::startsAndStopsFromSeveralThreads() {
    constexpr int threads = 6;
    constexpr int rounds = 40;
    std::atomic<int> stopped{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < threads; ++w) {
        workers.emplace_back([this, w, &stopped] {
            const QString own = u"own-%1"_s.arg(w);
            for (int r = 0; r < rounds; ++r) {
                Signalpost::startDurationSignal(own, {{"round", QString::number(r)}}, r % 2);
                Signalpost::startDurationSignal("shared");
                if (r % 5 == 0) {
                    DurationSignalTracker::shared().handleDidEnterBackgroundNotification();
                    m_clock.advance(1ms);
                    DurationSignalTracker::shared().handleWillEnterForegroundNotification();
                }
                Signalpost::stopAndSendDurationSignal(own);
                Signalpost::stopAndSendDurationSignal("shared");
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    // Every own measurement is sent once; "shared" at most once per start, never after the
    // last stop.
    Signalpost::stopAndSendDurationSignal("shared");
    const int own = threads * rounds;
    QTRY_VERIFY(m_ingest->allBodies().size() >= own);
    sentsignals::letSignalsReachTheCache();
    Signalpost::signal("marker");
    QTRY_VERIFY(!sentsignals::bodiesOfType(m_ingest->allBodies(), "marker").isEmpty());
    const QJsonArray bodies = m_ingest->allBodies();
    for (int w = 0; w < threads; ++w) {
        const auto sent = sentsignals::bodiesOfType(bodies, u"own-%1"_s.arg(w));
        QCOMPARE(sent.size(), rounds);
        QSet<QString> sentRounds;
        for (const QJsonObject& body : sent) {
            sentRounds.insert(body.value("payload").toObject().value("round").toString());
        }
        QCOMPARE(sentRounds.size(), rounds);
    }
    const int sharedSent = sentsignals::bodiesOfType(bodies, "shared").size();
    QVERIFY(sharedSent >= 1);
    QVERIFY(sharedSent <= threads * rounds);
    QCOMPARE(bodies.size(), own + sharedSent + 1);
}

QTEST_MAIN(DurationSignalsTest)
#include "tst_durationsignals.moc"
