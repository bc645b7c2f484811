#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/payload/PlatformFacts.h"
#include "analytics/payload/SessionManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

using signalpost::DefaultSignalPayload;
using signalpost::DesktopSettings;
using signalpost::PlatformFacts;
using signalpost::SessionManager;
using Parameters = QMap<QString, QString>;

namespace {

// 2024-03-01 (a Friday) 12:00 UTC.
const QDateTime friday(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());

PlatformFacts sampleFacts() {
    PlatformFacts facts;
    facts.now = friday;
    facts.secondsFromGMT = 0;
    facts.infoDictionary = {{"CFBundleShortVersionString", "1.2"}, {"CFBundleVersion", "7"}};
    facts.kernelRelease = u"6.1.0-18-amd64"_s;
    facts.architecture = u"aarch64"_s;
    facts.modelName = u"ThinkPad X1"_s;
    facts.localeIdentifier = u"de_CH"_s;
    facts.localeRegion = u"CH"_s;
    facts.localeLanguageCode = u"de"_s;
    facts.preferredLanguages = {u"de-CH"_s, u"en"_s};
    facts.screenSize = QSizeF(1440, 900);
    facts.screenScaleFactor = 2;
    facts.layoutDirection = Qt::LeftToRight;
    facts.colorScheme = DesktopSettings::ColorScheme::dark;
    return facts;
}

// A session manager over a defaults file of its own, seeing the facts' moment as now.
struct Sessions {
    QTemporaryDir dir;
    QString path = dir.filePath(u"suite.ini"_s);

    std::unique_ptr<SessionManager> manager(const QDateTime& now) const {
        auto m = std::make_unique<SessionManager>(path, [now] { return now; });
        m->waitForPersistence();
        return m;
    }
    void store(const QString& key, const QVariant& value) const {
        QSettings(path, QSettings::IniFormat).setValue(key, value);
    }
};

} // namespace

class DefaultSignalPayloadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fixedKeysDescribeTheAppAndLinux();
    void missingPlatformValuesReadNotAvailable();
    void appVersionAndBuild_data();
    void appVersionAndBuild();
    void systemVersionTexts_data();
    void systemVersionTexts();
    void timeZoneTexts_data();
    void timeZoneTexts();
    void calendarValues_data();
    void calendarValues();
    void languageTexts_data();
    void languageTexts();
    void accessibilityAndExtensionKeysOnlyWhenKnown();
    void retentionFiguresComeFromTheSessions();
    void runningSystemGivesTrueValues();
};

void DefaultSignalPayloadTest::fixedKeysDescribeTheAppAndLinux() {
    Sessions sessions;
    const Parameters p = DefaultSignalPayload::parameters(sampleFacts(), *sessions.manager(friday));
    const Parameters expected{
        {"platform", "Linux"},
        {"systemVersion", "Linux 6.1.0"},
        {"majorSystemVersion", "Linux 6"},
        {"majorMinorSystemVersion", "Linux 6.1"},
        {"appVersion", "1.2"},
        {"buildNumber", "7"},
        {"isSimulator", "false"},
        {"isDebug", "false"},
        {"isTestFlight", "false"},
        {"isAppStore", "true"},
        {"modelName", "ThinkPad X1"},
        {"architecture", "aarch64"},
        {"operatingSystem", "Linux"},
        {"targetEnvironment", "native"},
        {"locale", "de_CH"},
        {"region", "CH"},
        {"appLanguage", "de"},
        {"preferredLanguage", "de"},
        {"telemetryClientVersion", "2.14.2"},
        {"Signalpost.AppInfo.buildNumber", "7"},
        {"Signalpost.AppInfo.version", "1.2"},
        {"Signalpost.AppInfo.versionAndBuildNumber", "1.2 (build 7)"},
        {"Signalpost.Device.architecture", "aarch64"},
        {"Signalpost.Device.modelName", "ThinkPad X1"},
        {"Signalpost.Device.operatingSystem", "Linux"},
        {"Signalpost.Device.orientation", "Fixed"},
        {"Signalpost.Device.platform", "Linux"},
        {"Signalpost.Device.screenResolutionHeight", "900.0"},
        {"Signalpost.Device.screenResolutionWidth", "1440.0"},
        {"Signalpost.Device.screenScaleFactor", "2.0"},
        {"Signalpost.Device.systemMajorMinorVersion", "Linux 6.1"},
        {"Signalpost.Device.systemMajorVersion", "Linux 6"},
        {"Signalpost.Device.systemVersion", "Linux 6.1.0"},
        {"Signalpost.Device.timeZone", "UTC+0"},
        {"Signalpost.RunContext.isAppStore", "true"},
        {"Signalpost.RunContext.isDebug", "false"},
        {"Signalpost.RunContext.isSimulator", "false"},
        {"Signalpost.RunContext.isTestFlight", "false"},
        {"Signalpost.RunContext.language", "de"},
        {"Signalpost.RunContext.locale", "de_CH"},
        {"Signalpost.RunContext.targetEnvironment", "native"},
        {"Signalpost.SDK.name", "NativeSDK"},
        {"Signalpost.SDK.nameAndVersion", "NativeSDK 2.14.2"},
        {"Signalpost.SDK.version", "2.14.2"},
        {"Signalpost.UserPreference.colorScheme", "Dark"},
        {"Signalpost.UserPreference.language", "de"},
        {"Signalpost.UserPreference.layoutDirection", "leftToRight"},
        {"Signalpost.UserPreference.region", "CH"},
        {"Signalpost.Calendar.dayOfMonth", "1"},
        {"Signalpost.Calendar.dayOfWeek", "5"},
        {"Signalpost.Calendar.dayOfYear", "61"},
        {"Signalpost.Calendar.weekOfYear", "9"},
        {"Signalpost.Calendar.isWeekend", "false"},
        {"Signalpost.Calendar.monthOfYear", "3"},
        {"Signalpost.Calendar.quarterOfYear", "1"},
        {"Signalpost.Calendar.hourOfDay", "13"},
        {"Signalpost.Acquisition.firstSessionDate", "2024-03-01"},
        {"Signalpost.Retention.averageSessionSeconds", "-1"},
        {"Signalpost.Retention.distinctDaysUsed", "1"},
        {"Signalpost.Retention.distinctDaysUsedLastMonth", "1"},
        {"Signalpost.Retention.totalSessionsCount", "0"},
    };
    QCOMPARE(p, expected);
}

void DefaultSignalPayloadTest::missingPlatformValuesReadNotAvailable() {
    PlatformFacts facts = sampleFacts();
    facts.screenSize.reset();
    facts.screenScaleFactor.reset();
    facts.layoutDirection.reset();
    facts.colorScheme.reset();
    Sessions sessions;
    Parameters p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("Signalpost.Device.screenResolutionHeight"), "N/A");
    QCOMPARE(p.value("Signalpost.Device.screenResolutionWidth"), "N/A");
    QCOMPARE(p.value("Signalpost.Device.screenScaleFactor"), "N/A");
    QCOMPARE(p.value("Signalpost.UserPreference.layoutDirection"), "N/A");
    QCOMPARE(p.value("Signalpost.UserPreference.colorScheme"), "N/A");

    facts = sampleFacts();
    facts.layoutDirection = Qt::RightToLeft;
    facts.screenSize = QSizeF(1366.5, 768);
    facts.screenScaleFactor = 1.25;
    p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("Signalpost.UserPreference.layoutDirection"), "rightToLeft");
    QCOMPARE(p.value("Signalpost.Device.screenResolutionWidth"), "1366.5");
    QCOMPARE(p.value("Signalpost.Device.screenScaleFactor"), "1.25");
}

void DefaultSignalPayloadTest::appVersionAndBuild_data() {
    QTest::addColumn<QVariantMap>("info");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("versionAndBuild");
    QTest::newRow("both") << QVariantMap{{"CFBundleShortVersionString", "1.2"},
                                         {"CFBundleVersion", "7"}}
                          << "1.2"
                          << "7"
                          << "1.2 (build 7)";
    QTest::newRow("no CFBundleVersion")
        << QVariantMap{{"CFBundleShortVersionString", "1.2"}} << "1.2"
        << "0"
        << "1.2 (build 0)";
    QTest::newRow("numbers instead of text")
        << QVariantMap{{"CFBundleShortVersionString", 1.2}, {"CFBundleVersion", qint64(7)}} << "0"
        << "0"
        << "0 (build 0)";
    QTest::newRow("no dictionary") << QVariantMap{} << "0"
                                   << "0"
                                   << "0 (build 0)";
}

void DefaultSignalPayloadTest::appVersionAndBuild() {
    QFETCH(QVariantMap, info);
    QFETCH(QString, version);
    QFETCH(QString, build);
    QFETCH(QString, versionAndBuild);
    PlatformFacts facts = sampleFacts();
    facts.infoDictionary = info;
    Sessions sessions;
    const Parameters p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("appVersion"), version);
    QCOMPARE(p.value("Signalpost.AppInfo.version"), version);
    QCOMPARE(p.value("buildNumber"), build);
    QCOMPARE(p.value("Signalpost.AppInfo.buildNumber"), build);
    QCOMPARE(p.value("Signalpost.AppInfo.versionAndBuildNumber"), versionAndBuild);
}

void DefaultSignalPayloadTest::systemVersionTexts_data() {
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("major");
    QTest::addColumn<QString>("majorMinor");
    QTest::newRow("Debian kernel") << "6.1.0-18-amd64"
                                   << "Linux 6.1.0"
                                   << "Linux 6"
                                   << "Linux 6.1";
    QTest::newRow("patch with suffix") << "5.15.153.1-microsoft-standard-WSL2"
                                       << "Linux 5.15.153"
                                       << "Linux 5"
                                       << "Linux 5.15";
    QTest::newRow("no patch") << "6.8-rc3"
                              << "Linux 6.8.0"
                              << "Linux 6"
                              << "Linux 6.8";
    QTest::newRow("major only") << "6"
                                << "Linux 6.0.0"
                                << "Linux 6"
                                << "Linux 6.0";
    QTest::newRow("unreadable") << ""
                                << "Linux 0.0.0"
                                << "Linux 0"
                                << "Linux 0.0";
}

void DefaultSignalPayloadTest::systemVersionTexts() {
    QFETCH(QString, release);
    QFETCH(QString, full);
    QFETCH(QString, major);
    QFETCH(QString, majorMinor);
    PlatformFacts facts = sampleFacts();
    facts.kernelRelease = release;
    Sessions sessions;
    const Parameters p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("systemVersion"), full);
    QCOMPARE(p.value("Signalpost.Device.systemVersion"), full);
    QCOMPARE(p.value("majorSystemVersion"), major);
    QCOMPARE(p.value("Signalpost.Device.systemMajorVersion"), major);
    QCOMPARE(p.value("majorMinorSystemVersion"), majorMinor);
    QCOMPARE(p.value("Signalpost.Device.systemMajorMinorVersion"), majorMinor);
}

void DefaultSignalPayloadTest::timeZoneTexts_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("UTC") << 0 << "UTC+0";
    QTest::newRow("two hours ahead") << 7200 << "UTC+2";
    QTest::newRow("five hours behind") << -18000 << "UTC-5";
    QTest::newRow("India") << 19800 << "UTC+5:30";
    QTest::newRow("Nepal") << 20700 << "UTC+5:45";
    QTest::newRow("Newfoundland in winter") << -12600 << "UTC-3:30";
    QTest::newRow("half an hour behind") << -1800 << "UTC-0:30";
}

void DefaultSignalPayloadTest::timeZoneTexts() {
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(DefaultSignalPayload::timeZoneText(seconds), text);
}

void DefaultSignalPayloadTest::calendarValues_data() {
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<Parameters>("expected");
    const auto values = [](const char* day, const char* weekday, const char* dayOfYear,
                           const char* week, const char* weekend, const char* month,
                           const char* quarter, const char* hour) {
        return Parameters{{"Signalpost.Calendar.dayOfMonth", day},
                          {"Signalpost.Calendar.dayOfWeek", weekday},
                          {"Signalpost.Calendar.dayOfYear", dayOfYear},
                          {"Signalpost.Calendar.weekOfYear", week},
                          {"Signalpost.Calendar.isWeekend", weekend},
                          {"Signalpost.Calendar.monthOfYear", month},
                          {"Signalpost.Calendar.quarterOfYear", quarter},
                          {"Signalpost.Calendar.hourOfDay", hour}};
    };
    const QTimeZone berlin("Europe/Berlin");
    QTest::newRow("Sunday") << QDateTime(QDate(2024, 3, 3), QTime(15, 0), berlin)
                            << values("3", "7", "63", "10", "true", "3", "1", "16");
    QTest::newRow("Friday") << QDateTime(QDate(2024, 3, 1), QTime(9, 0), berlin)
                            << values("1", "5", "61", "9", "false", "3", "1", "10");
    QTest::newRow("Saturday at 00:30") << QDateTime(QDate(2024, 8, 17), QTime(0, 30), berlin)
                                       << values("17", "6", "230", "33", "true", "8", "3", "1");
    QTest::newRow("Tuesday at 23:30") << QDateTime(QDate(2024, 10, 1), QTime(23, 30), berlin)
                                      << values("1", "2", "275", "40", "false", "10", "4", "24");
    // Weeks start on Sunday and week 1 holds 1 January: 29 December 2024 is in week 1.
    QTest::newRow("last Sunday of 2024") << QDateTime(QDate(2024, 12, 29), QTime(12, 0), berlin)
                                         << values("29", "7", "364", "1", "true", "12", "4", "13");
}

void DefaultSignalPayloadTest::calendarValues() {
    QFETCH(QDateTime, local);
    QFETCH(Parameters, expected);
    QCOMPARE(DefaultSignalPayload::calendarParameters(local), expected);
}

void DefaultSignalPayloadTest::languageTexts_data() {
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<std::optional<QString>>("region");
    QTest::addColumn<std::optional<QString>>("languageCode");
    QTest::addColumn<QStringList>("preferred");
    QTest::addColumn<QString>("regionText");
    QTest::addColumn<QString>("appLanguage");
    QTest::addColumn<QString>("preferredLanguage");
    QTest::newRow("pt-BR first") << "pt_BR" << std::optional<QString>("BR")
                                 << std::optional<QString>("pt") << QStringList{"pt-BR", "en"}
                                 << "BR"
                                 << "pt"
                                 << "pt";
    QTest::newRow("no region") << "en" << std::optional<QString>() << std::optional<QString>("en")
                               << QStringList{"en_GB"} << "en"
                               << "en"
                               << "en";
    QTest::newRow("no language code")
        << "sr_Latn_RS" << std::optional<QString>("RS") << std::optional<QString>()
        << QStringList{"sr-Latn-RS"} << "RS"
        << "sr"
        << "sr";
    QTest::newRow("no preferred languages") << "en_US" << std::optional<QString>("US")
                                            << std::optional<QString>("en") << QStringList{} << "US"
                                            << "en"
                                            << "zz";
}

void DefaultSignalPayloadTest::languageTexts() {
    QFETCH(QString, identifier);
    QFETCH(std::optional<QString>, region);
    QFETCH(std::optional<QString>, languageCode);
    QFETCH(QStringList, preferred);
    QFETCH(QString, regionText);
    QFETCH(QString, appLanguage);
    QFETCH(QString, preferredLanguage);
    PlatformFacts facts = sampleFacts();
    facts.localeIdentifier = identifier;
    facts.localeRegion = region;
    facts.localeLanguageCode = languageCode;
    facts.preferredLanguages = preferred;
    Sessions sessions;
    const Parameters p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("region"), regionText);
    QCOMPARE(p.value("Signalpost.UserPreference.region"), regionText);
    QCOMPARE(p.value("appLanguage"), appLanguage);
    QCOMPARE(p.value("Signalpost.RunContext.language"), appLanguage);
    QCOMPARE(p.value("preferredLanguage"), preferredLanguage);
    QCOMPARE(p.value("Signalpost.UserPreference.language"), preferredLanguage);
}

void DefaultSignalPayloadTest::accessibilityAndExtensionKeysOnlyWhenKnown() {
    PlatformFacts facts = sampleFacts();
    Sessions sessions;
    Parameters p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QVERIFY(!p.contains("Signalpost.Accessibility.isReduceMotionEnabled"));
    QVERIFY(!p.contains("Signalpost.Accessibility.isInvertColorsEnabled"));
    QVERIFY(!p.contains("extensionIdentifier"));

    facts.accessibility = DesktopSettings::Accessibility{true, false};
    facts.infoDictionary.insert("NSExtension",
                                QVariantMap{{"NSExtensionPointIdentifier", "com.example.share"}});
    p = DefaultSignalPayload::parameters(facts, *sessions.manager(friday));
    QCOMPARE(p.value("Signalpost.Accessibility.isReduceMotionEnabled"), "true");
    QCOMPARE(p.value("Signalpost.Accessibility.isInvertColorsEnabled"), "false");
    QCOMPARE(p.value("extensionIdentifier"), "com.example.share");
    QCOMPARE(p.value("Signalpost.RunContext.extensionIdentifier"), "com.example.share");
}

void DefaultSignalPayloadTest::retentionFiguresComeFromTheSessions() {
    Sessions sessions;
    const qint64 now = friday.toSecsSinceEpoch();
    const QJsonArray stored{QJsonObject{{"startedAt", now - 3000}, {"durationInSeconds", 10}},
                            QJsonObject{{"startedAt", now - 2000}, {"durationInSeconds", 20}},
                            QJsonObject{{"startedAt", now - 1000}, {"durationInSeconds", 7}}};
    sessions.store("recentSessions", QJsonDocument(stored).toJson(QJsonDocument::Compact));
    sessions.store("deletedSessionsCount", 5);
    sessions.store("firstSessionDate", "2023-11-20");
    // The cut-off is 30 days before now: 31 January counts, 30 January does not.
    sessions.store("distinctDaysUsed", QStringList{"2023-11-20", "2024-01-30", "2024-01-31"});
    Parameters p = DefaultSignalPayload::parameters(sampleFacts(), *sessions.manager(friday));
    QCOMPARE(p.value("Signalpost.Acquisition.firstSessionDate"), "2023-11-20");
    QCOMPARE(p.value("Signalpost.Retention.averageSessionSeconds"), "15");
    QCOMPARE(p.value("Signalpost.Retention.previousSessionSeconds"), "20");
    QCOMPARE(p.value("Signalpost.Retention.totalSessionsCount"), "8");
    // Today was added when the manager was built.
    QCOMPARE(p.value("Signalpost.Retention.distinctDaysUsed"), "4");
    QCOMPARE(p.value("Signalpost.Retention.distinctDaysUsedLastMonth"), "2");

    Sessions single;
    single.store("recentSessions",
                 QJsonDocument(QJsonArray{stored.first()}).toJson(QJsonDocument::Compact));
    p = DefaultSignalPayload::parameters(sampleFacts(), *single.manager(friday));
    QVERIFY(!p.contains("Signalpost.Retention.previousSessionSeconds"));
    QCOMPARE(p.value("Signalpost.Retention.averageSessionSeconds"), "10");
}

void DefaultSignalPayloadTest::runningSystemGivesTrueValues() {
    const Parameters p = DefaultSignalPayload::parameters();
    QCOMPARE(p.value("platform"), "Linux");
    QCOMPARE(p.value("operatingSystem"), "Linux");
    QCOMPARE(p.value("Signalpost.Device.platform"), "Linux");
    QCOMPARE(p.value("Signalpost.Device.operatingSystem"), "Linux");
    QVERIFY2(
        QRegularExpression("^Linux \\d+\\.\\d+\\.\\d+$").match(p.value("systemVersion")).hasMatch(),
        qPrintable(p.value("systemVersion")));
#if defined(__x86_64__)
    QCOMPARE(p.value("architecture"), "x86_64");
    QCOMPARE(p.value("Signalpost.Device.architecture"), "x86_64");
#elif defined(__aarch64__)
    QCOMPARE(p.value("architecture"), "arm64");
#endif
    QVERIFY(!p.value("modelName").isEmpty());
    // The offscreen platform has one screen and an application object.
    QVERIFY(p.value("Signalpost.Device.screenResolutionWidth").endsWith(".0"));
    QCOMPARE(p.value("Signalpost.UserPreference.layoutDirection"), "leftToRight");
    QVERIFY(p.value("Signalpost.UserPreference.colorScheme") != "N/A");
    // Without an initialised client there is no suite: the first session is today.
    QCOMPARE(p.value("Signalpost.Acquisition.firstSessionDate"),
             QDate::currentDate().toString(Qt::ISODate));
    QCOMPARE(p.value("Signalpost.Retention.averageSessionSeconds"), "-1");
}

QTEST_MAIN(DefaultSignalPayloadTest)
#include "tst_defaultsignalpayload.moc"
