#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/pipeline/SignalPostBody.h"
#include "app/QuillonDesktopApp.h"
#include "app/tests/AnalyticsBundle.h"
#include "core/app/AppBundle.h"
#include "core/app/AppTelemetry.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "tests/support/IngestStandIn.h"
#include "ui/window/MainWindow.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;
using signalpost::testsupport::IngestStandIn;

// The real start-up with an analytics app ID: its own process, since the analytics-ready flag
// is set once per process.
class StartupAnalyticsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startUpDeliversAppOpenedWithTheDefaultPayload() {
        IngestStandIn ingest;
        QTemporaryDir resources;
        writeAnalyticsBundle(resources.path(), " app-quillon-start ");

        QuillonDesktopApp app{AppBundle(resources.path())};
        QVERIFY(isTelemetryConfigured());
        deliverFirstSignal(app, ingest);
        if (QTest::currentTestFailed()) {
            return;
        }

        QCOMPARE(ingest.requests().first().path, u"/v2/"_s);
        const QJsonObject body = ingest.allBodies().first().toObject();
        QCOMPARE(body.value("type").toString(), u"app_opened"_s);
        QCOMPARE(body.value("appID").toString(), u"app-quillon-start"_s);
        const QJsonObject payload = body.value("payload").toObject();
        QStringList keys = payload.keys();
        // Present where the desktop's accessibility settings can be read.
        keys.removeAll(u"Signalpost.Accessibility.isReduceMotionEnabled"_s);
        keys.removeAll(u"Signalpost.Accessibility.isInvertColorsEnabled"_s);
        const QStringList expected{"Signalpost.Acquisition.firstSessionDate",
                                   "Signalpost.AppInfo.buildNumber",
                                   "Signalpost.AppInfo.version",
                                   "Signalpost.AppInfo.versionAndBuildNumber",
                                   "Signalpost.Calendar.dayOfMonth",
                                   "Signalpost.Calendar.dayOfWeek",
                                   "Signalpost.Calendar.dayOfYear",
                                   "Signalpost.Calendar.hourOfDay",
                                   "Signalpost.Calendar.isWeekend",
                                   "Signalpost.Calendar.monthOfYear",
                                   "Signalpost.Calendar.quarterOfYear",
                                   "Signalpost.Calendar.weekOfYear",
                                   "Signalpost.Device.architecture",
                                   "Signalpost.Device.modelName",
                                   "Signalpost.Device.operatingSystem",
                                   "Signalpost.Device.orientation",
                                   "Signalpost.Device.platform",
                                   "Signalpost.Device.screenResolutionHeight",
                                   "Signalpost.Device.screenResolutionWidth",
                                   "Signalpost.Device.screenScaleFactor",
                                   "Signalpost.Device.systemMajorMinorVersion",
                                   "Signalpost.Device.systemMajorVersion",
                                   "Signalpost.Device.systemVersion",
                                   "Signalpost.Device.timeZone",
                                   "Signalpost.Retention.averageSessionSeconds",
                                   "Signalpost.Retention.distinctDaysUsed",
                                   "Signalpost.Retention.distinctDaysUsedLastMonth",
                                   "Signalpost.Retention.totalSessionsCount",
                                   "Signalpost.RunContext.isAppStore",
                                   "Signalpost.RunContext.isDebug",
                                   "Signalpost.RunContext.isSimulator",
                                   "Signalpost.RunContext.isTestFlight",
                                   "Signalpost.RunContext.language",
                                   "Signalpost.RunContext.locale",
                                   "Signalpost.RunContext.targetEnvironment",
                                   "Signalpost.SDK.name",
                                   "Signalpost.SDK.nameAndVersion",
                                   "Signalpost.SDK.version",
                                   "Signalpost.UserPreference.colorScheme",
                                   "Signalpost.UserPreference.language",
                                   "Signalpost.UserPreference.layoutDirection",
                                   "Signalpost.UserPreference.region",
                                   "appLanguage",
                                   "appVersion",
                                   "architecture",
                                   "buildNumber",
                                   "isAppStore",
                                   "isDebug",
                                   "isSimulator",
                                   "isTestFlight",
                                   "locale",
                                   "majorMinorSystemVersion",
                                   "majorSystemVersion",
                                   "modelName",
                                   "operatingSystem",
                                   "platform",
                                   "preferredLanguage",
                                   "region",
                                   "systemVersion",
                                   "targetEnvironment",
                                   "telemetryClientVersion"};
        QCOMPARE(keys, expected);
        QCOMPARE(payload.value("platform").toString(), u"Linux"_s);
        QCOMPARE(payload.value("Signalpost.AppInfo.versionAndBuildNumber").toString(),
                 u"2.5 (build 41)"_s);
        QCOMPARE(payload.value("Signalpost.Retention.distinctDaysUsed").toString(), u"1"_s);
        QCOMPARE(payload.value("Signalpost.UserPreference.layoutDirection").toString(),
                 u"leftToRight"_s);
        // Closes the client's connection before the stand-in stops.
        signalpost::Signalpost::terminate();
    }

    // After the start-up above: what it wrote, and what the app writes later.
    void everythingTheAppWritesIsPrivate() {
        UserDefaultsDraftRepository(u"test.drafts"_s, SqliteUserDefaults::standard())
            .saveDrafts({{QUuid::createUuid(), u"private"_s, QDateTime::currentDateTimeUtc(),
                          QDateTime::currentDateTimeUtc()}},
                        std::nullopt);
        signalpost::SignalCache cache(std::nullopt, 10);
        signalpost::SignalPostBody body;
        body.receivedAt = QDateTime::currentDateTimeUtc();
        cache.push(body);
        cache.backupToDisk();

        const QStringList roots{
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
        QStringList written;
        for (const QString& root : roots) {
            QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QFileInfo entry(it.next());
                const auto mode = QFile::permissions(entry.filePath()) & 0x0777;
                const auto expected = entry.isDir() ? QFileDevice::Permissions(0x0700)
                                                    : QFileDevice::Permissions(0x0600);
                written.append(entry.filePath());
                QVERIFY2(mode == expected, qPrintable(entry.filePath()));
            }
        }
        QVERIFY(written.contains(SqliteUserDefaults::standardPath()));
        QVERIFY(written.contains(signalpost::SignalCache::defaultCacheFilePath()));
        QVERIFY2(
            std::any_of(written.cbegin(), written.cend(),
                        [](const QString& path) { return path.contains(u"com.signalpost."_s); }),
            qPrintable(written.join(u' ')));
    }
};

QTEST_MAIN(StartupAnalyticsTest)
#include "tst_startupanalytics.moc"
