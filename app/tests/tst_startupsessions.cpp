#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/payload/SessionManager.h"
#include "app/QuillonDesktopApp.h"
#include "app/tests/AnalyticsBundle.h"
#include "core/app/AppBundle.h"
#include "core/app/AppTelemetry.h"
#include "tests/support/IngestStandIn.h"
#include "ui/window/MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using signalpost::SessionManager;
using signalpost::testsupport::IngestStandIn;
using Sessions = QList<SessionManager::StoredSession>;

namespace {

const QString appID = u"app-quillon-sessions"_s;

// Seconds since 1970 of the distant past, where time spent without a started session is kept.
constexpr qint64 distantPastSeconds = -62135596800;

// The analytics suite of the app ID above, as the client keeps it in the sandboxed home.
QString suitePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           signalpost::Signalpost::defaultsSuiteName(appID) + u".ini"_s;
}

Sessions storedSessions() {
    const QSettings suite(suitePath(), QSettings::IniFormat);
    return SessionManager::decodeSessions(suite.value(u"recentSessions"_s).toByteArray())
        .value_or(Sessions{});
}

QVariant stored(const QString& key) {
    return QSettings(suitePath(), QSettings::IniFormat).value(key);
}

// The one session the active window accumulates, kept under the distant past.
void verifyOneActiveEntry(const Sessions& sessions) {
    QCOMPARE(sessions.size(), 1);
    QCOMPARE(sessions.first().startedAtMSecs, distantPastSeconds * 1000);
    QVERIFY(sessions.first().durationInSeconds >= 1);
}

} // namespace

// Two starts of the real app in one home. The analytics client is set up once per process,
// so the first start is the built program itself and the second runs here, where its first
// signal can be sent to an ingest stand-in.
class StartupSessionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartKeepsItsActiveTime() {
        QTemporaryDir bundle;
        QVERIFY(QDir(bundle.path()).mkpath(u"bin"_s));
        QVERIFY(QDir(bundle.path()).mkpath(u"share/quillon"_s));
        const QString program = bundle.filePath(u"bin/quillon"_s);
        QVERIFY(
            QFile::copy(qEnvironmentVariable("QUILLON_BUILD_DIR") + u"/bin/quillon"_s, program));
        writeAnalyticsBundle(bundle.filePath(u"share/quillon"_s), "app-quillon-sessions");

        QProcess app;
        app.start(program);
        QVERIFY(app.waitForStarted());
        // Stored once its window has been active for a whole second, then every second.
        QTRY_VERIFY_WITH_TIMEOUT(!storedSessions().isEmpty() || app.state() == QProcess::NotRunning,
                                 60000);
        QVERIFY2(app.state() == QProcess::Running, app.readAllStandardError().constData());
        app.kill();
        QVERIFY(app.waitForFinished());

        // Session statistics are off in the app: no session starts, so no install is announced
        // and the active time is kept under the distant past.
        verifyOneActiveEntry(storedSessions());
        QVERIFY(!stored(u"deletedSessionsCount"_s).isValid());
        QVERIFY(!stored(u"firstSessionDate"_s).isValid());
        QCOMPARE(stored(u"distinctDaysUsed"_s).toString(),
                 SessionManager::dayText(QDateTime::currentDateTime()));
    }

    // As if the first start had been yesterday: the day list is the only stored trace of it.
    void secondStartOnTheNextDayCountsTheFirst() {
        const QString today = SessionManager::dayText(QDateTime::currentDateTime());
        const QString yesterday = SessionManager::dayText(QDateTime::currentDateTime().addDays(-1));
        QSettings(suitePath(), QSettings::IniFormat).setValue(u"distinctDaysUsed"_s, yesterday);

        IngestStandIn ingest;
        QTemporaryDir resources;
        writeAnalyticsBundle(resources.path(), "app-quillon-sessions");
        QuillonDesktopApp app{AppBundle(resources.path())};
        QVERIFY(isTelemetryConfigured());
        deliverFirstSignal(app, ingest);
        if (QTest::currentTestFailed()) {
            return;
        }

        // The first start's entry was removed at this start and is counted as removed, also in
        // the figures of this start's first signal.
        const QJsonObject payload =
            ingest.allBodies().first().toObject().value("payload").toObject();
        QCOMPARE(payload.value("Signalpost.Retention.totalSessionsCount").toString(), u"1"_s);
        QCOMPARE(payload.value("Signalpost.Retention.averageSessionSeconds").toString(), u"-1"_s);
        QCOMPARE(payload.value("Signalpost.Retention.distinctDaysUsed").toString(), u"2"_s);
        QCOMPARE(payload.value("Signalpost.Retention.distinctDaysUsedLastMonth").toString(),
                 u"2"_s);
        QVERIFY(!payload.contains("Signalpost.Retention.previousSessionSeconds"));
        QCOMPARE(payload.value("Signalpost.Acquisition.firstSessionDate").toString(), today);
        QCOMPARE(stored(u"deletedSessionsCount"_s).toLongLong(), 1);
        QCOMPARE(stored(u"distinctDaysUsed"_s).toStringList(), (QStringList{yesterday, today}));

        // This start's own active time replaces the removed entry.
        QTRY_VERIFY_WITH_TIMEOUT(SessionManager::shared().recentSessions().size() == 1, 60000);
        SessionManager::shared().waitForPersistence();
        verifyOneActiveEntry(storedSessions());
        QCOMPARE(SessionManager::shared().totalSessionsCount(), 2);
        // Closes the client's connection before the stand-in stops.
        signalpost::Signalpost::terminate();
    }
};

QTEST_MAIN(StartupSessionsTest)
#include "tst_startupsessions.moc"
