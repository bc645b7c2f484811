#include "analytics/payload/DefaultSignalPayload.h"

#include "analytics/payload/PlatformFacts.h"
#include "analytics/payload/SessionManager.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <cstdlib>

namespace signalpost {
namespace {

using Parameters = QMap<QString, QString>;

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString infoText(const QVariantMap& info, const QString& key) {
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("0");
}

QStringList pieces(const QString& identifier) {
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    return identifier.split(separators);
}

QString dateText(const QDate& date) {
    return date.toString(Qt::ISODate);
}

// Weeks begin on Sunday; week 1 is the one holding 1 January, so the last days of December
// can already belong to week 1 of the next year.
int weekOfYear(const QDate& date) {
    const int sundayBased = date.dayOfWeek() % 7; // Sunday 0 .. Saturday 6
    const QDate saturday = date.addDays(6 - sundayBased);
    if (saturday.year() != date.year()) {
        return 1;
    }
    const int firstWeekday = QDate(date.year(), 1, 1).dayOfWeek() % 7;
    return (date.dayOfYear() - 1 + firstWeekday) / 7 + 1;
}

} // namespace

DefaultSignalPayload::SystemVersion DefaultSignalPayload::systemVersion(QStringView kernelRelease) {
    SystemVersion version;
    int* const parts[] = {&version.major, &version.minor, &version.patch};
    qsizetype position = 0;
    for (int* part : parts) {
        qsizetype end = position;
        while (end < kernelRelease.size() && kernelRelease[end].isDigit() &&
               kernelRelease[end].unicode() < 0x80) {
            ++end;
        }
        if (end == position) {
            break;
        }
        bool ok = false;
        const int number = kernelRelease.sliced(position, end - position).toInt(&ok);
        if (!ok) {
            break;
        }
        *part = number;
        if (end >= kernelRelease.size() || kernelRelease[end] != u'.') {
            break;
        }
        position = end + 1;
    }
    return version;
}

QString DefaultSignalPayload::timeZoneText(int secondsFromGMT) {
    const int hours = secondsFromGMT / 3600;
    const int minutes = secondsFromGMT / 60 - 60 * hours;
    QString text = QStringLiteral("UTC") + (secondsFromGMT < 0 ? u'-' : u'+') +
                   QString::number(std::abs(hours));
    if (minutes != 0) {
        text += u':' + QStringLiteral("%1").arg(std::abs(minutes), 2, 10, QLatin1Char('0'));
    }
    return text;
}

QMap<QString, QString> DefaultSignalPayload::calendarParameters(const QDateTime& localNow) {
    const QDate date = localNow.date();
    const int dayOfWeek = date.dayOfWeek(); // Monday 1 .. Sunday 7
    return {
        {QStringLiteral("Signalpost.Calendar.dayOfMonth"), QString::number(date.day())},
        {QStringLiteral("Signalpost.Calendar.dayOfWeek"), QString::number(dayOfWeek)},
        {QStringLiteral("Signalpost.Calendar.dayOfYear"), QString::number(date.dayOfYear())},
        {QStringLiteral("Signalpost.Calendar.weekOfYear"), QString::number(weekOfYear(date))},
        {QStringLiteral("Signalpost.Calendar.isWeekend"), boolText(dayOfWeek >= 6)},
        {QStringLiteral("Signalpost.Calendar.monthOfYear"), QString::number(date.month())},
        {QStringLiteral("Signalpost.Calendar.quarterOfYear"),
         QString::number((date.month() - 1) / 3 + 1)},
        {QStringLiteral("Signalpost.Calendar.hourOfDay"),
         QString::number(localNow.time().hour() + 1)},
    };
}

QString DefaultSignalPayload::regionText(const QString& localeIdentifier,
                                         const std::optional<QString>& region) {
    return region ? *region : pieces(localeIdentifier).last();
}

QString DefaultSignalPayload::appLanguageText(const QString& localeIdentifier,
                                              const std::optional<QString>& languageCode) {
    return languageCode ? *languageCode : pieces(localeIdentifier).first();
}

QString DefaultSignalPayload::preferredLanguageText(const QStringList& preferredLanguages) {
    const QString first =
        preferredLanguages.isEmpty() ? QStringLiteral("zz-ZZ") : preferredLanguages.first();
    return pieces(first).first();
}

QString DefaultSignalPayload::realNumberText(double value) {
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(u'.') && !text.contains(u'e') && !text.contains(u'n')) {
        text += QStringLiteral(".0");
    }
    return text;
}

QMap<QString, QString> DefaultSignalPayload::parameters() {
    return parameters(PlatformFacts::current(), SessionManager::shared());
}

QMap<QString, QString> DefaultSignalPayload::parameters(const PlatformFacts& facts,
                                                        const SessionManager& sessions) {
    const QString linuxName = QStringLiteral("Linux");
    const SystemVersion version = systemVersion(facts.kernelRelease);
    const QString systemVersionText = QStringLiteral("%1 %2.%3.%4")
                                          .arg(linuxName)
                                          .arg(version.major)
                                          .arg(version.minor)
                                          .arg(version.patch);
    const QString majorText = QStringLiteral("%1 %2").arg(linuxName).arg(version.major);
    const QString majorMinorText =
        QStringLiteral("%1 %2.%3").arg(linuxName).arg(version.major).arg(version.minor);
    const QString appVersion =
        infoText(facts.infoDictionary, QStringLiteral("CFBundleShortVersionString"));
    const QString buildNumber = infoText(facts.infoDictionary, QStringLiteral("CFBundleVersion"));
    const QString isTestFlight = boolText(facts.isSandboxReceipt);
    const QString isAppStore = boolText(!facts.isSandboxReceipt);
    const QString region = regionText(facts.localeIdentifier, facts.localeRegion);
    const QString appLanguage = appLanguageText(facts.localeIdentifier, facts.localeLanguageCode);
    const QString preferredLanguage = preferredLanguageText(facts.preferredLanguages);
    const QString sdkVersion = QString::fromLatin1(clientVersion);
    const QString notAvailable = QStringLiteral("N/A");
    const QString falseText = boolText(false);
    const QString native = QStringLiteral("native");

    QString layoutDirection = notAvailable;
    if (facts.layoutDirection) {
        layoutDirection = *facts.layoutDirection == Qt::LeftToRight ? QStringLiteral("leftToRight")
                                                                    : QStringLiteral("rightToLeft");
    }
    QString colorScheme = notAvailable;
    if (facts.colorScheme) {
        colorScheme = *facts.colorScheme == DesktopSettings::ColorScheme::dark
                          ? QStringLiteral("Dark")
                          : QStringLiteral("Light");
    }

    Parameters p{
        {QStringLiteral("platform"), linuxName},
        {QStringLiteral("systemVersion"), systemVersionText},
        {QStringLiteral("majorSystemVersion"), majorText},
        {QStringLiteral("majorMinorSystemVersion"), majorMinorText},
        {QStringLiteral("appVersion"), appVersion},
        {QStringLiteral("buildNumber"), buildNumber},
        {QStringLiteral("isSimulator"), falseText},
        {QStringLiteral("isDebug"), falseText},
        {QStringLiteral("isTestFlight"), isTestFlight},
        {QStringLiteral("isAppStore"), isAppStore},
        {QStringLiteral("modelName"), facts.modelName},
        {QStringLiteral("architecture"), facts.architecture},
        {QStringLiteral("operatingSystem"), linuxName},
        {QStringLiteral("targetEnvironment"), native},
        {QStringLiteral("locale"), facts.localeIdentifier},
        {QStringLiteral("region"), region},
        {QStringLiteral("appLanguage"), appLanguage},
        {QStringLiteral("preferredLanguage"), preferredLanguage},
        {QStringLiteral("telemetryClientVersion"), sdkVersion},
        {QStringLiteral("Signalpost.AppInfo.buildNumber"), buildNumber},
        {QStringLiteral("Signalpost.AppInfo.version"), appVersion},
        {QStringLiteral("Signalpost.AppInfo.versionAndBuildNumber"),
         appVersion + QStringLiteral(" (build ") + buildNumber + u')'},
        {QStringLiteral("Signalpost.Device.architecture"), facts.architecture},
        {QStringLiteral("Signalpost.Device.modelName"), facts.modelName},
        {QStringLiteral("Signalpost.Device.operatingSystem"), linuxName},
        {QStringLiteral("Signalpost.Device.orientation"), QStringLiteral("Fixed")},
        {QStringLiteral("Signalpost.Device.platform"), linuxName},
        {QStringLiteral("Signalpost.Device.screenResolutionHeight"),
         facts.screenSize ? realNumberText(facts.screenSize->height()) : notAvailable},
        {QStringLiteral("Signalpost.Device.screenResolutionWidth"),
         facts.screenSize ? realNumberText(facts.screenSize->width()) : notAvailable},
        {QStringLiteral("Signalpost.Device.screenScaleFactor"),
         facts.screenScaleFactor ? realNumberText(*facts.screenScaleFactor) : notAvailable},
        {QStringLiteral("Signalpost.Device.systemMajorMinorVersion"), majorMinorText},
        {QStringLiteral("Signalpost.Device.systemMajorVersion"), majorText},
        {QStringLiteral("Signalpost.Device.systemVersion"), systemVersionText},
        {QStringLiteral("Signalpost.Device.timeZone"), timeZoneText(facts.secondsFromGMT)},
        {QStringLiteral("Signalpost.RunContext.isAppStore"), isAppStore},
        {QStringLiteral("Signalpost.RunContext.isDebug"), falseText},
        {QStringLiteral("Signalpost.RunContext.isSimulator"), falseText},
        {QStringLiteral("Signalpost.RunContext.isTestFlight"), isTestFlight},
        {QStringLiteral("Signalpost.RunContext.language"), appLanguage},
        {QStringLiteral("Signalpost.RunContext.locale"), facts.localeIdentifier},
        {QStringLiteral("Signalpost.RunContext.targetEnvironment"), native},
        {QStringLiteral("Signalpost.SDK.name"), QStringLiteral("NativeSDK")},
        {QStringLiteral("Signalpost.SDK.nameAndVersion"),
         QStringLiteral("NativeSDK ") + sdkVersion},
        {QStringLiteral("Signalpost.SDK.version"), sdkVersion},
        {QStringLiteral("Signalpost.UserPreference.colorScheme"), colorScheme},
        {QStringLiteral("Signalpost.UserPreference.language"), preferredLanguage},
        {QStringLiteral("Signalpost.UserPreference.layoutDirection"), layoutDirection},
        {QStringLiteral("Signalpost.UserPreference.region"), region},
    };

    if (facts.accessibility) {
        p.insert(QStringLiteral("Signalpost.Accessibility.isReduceMotionEnabled"),
                 boolText(facts.accessibility->reduceMotion));
        p.insert(QStringLiteral("Signalpost.Accessibility.isInvertColorsEnabled"),
                 boolText(facts.accessibility->invertColors));
    }

    p.insert(calendarParameters(facts.now));

    const QVariant extension = facts.infoDictionary.value(QStringLiteral("NSExtension"));
    if (extension.typeId() == QMetaType::QVariantMap) {
        const QVariant point =
            extension.toMap().value(QStringLiteral("NSExtensionPointIdentifier"));
        if (point.typeId() == QMetaType::QString) {
            p.insert(QStringLiteral("extensionIdentifier"), point.toString());
            p.insert(QStringLiteral("Signalpost.RunContext.extensionIdentifier"), point.toString());
        }
    }

    // Opened once for the three figures kept in it.
    const std::unique_ptr<QSettings> defaults = sessions.store();
    QString firstSessionDate = dateText(facts.now.date());
    if (defaults) {
        const QVariant stored = defaults->value(QStringLiteral("firstSessionDate"));
        if (stored.typeId() == QMetaType::QString) {
            firstSessionDate = stored.toString();
        }
    }
    const QStringList days = SessionManager::distinctDaysUsed(defaults.get());
    const QString cutOff = dateText(facts.now.toUTC().addSecs(-2592000).date());
    p.insert(QStringLiteral("Signalpost.Acquisition.firstSessionDate"), firstSessionDate);
    p.insert(QStringLiteral("Signalpost.Retention.averageSessionSeconds"),
             QString::number(sessions.averageSessionSeconds()));
    p.insert(QStringLiteral("Signalpost.Retention.distinctDaysUsed"), QString::number(days.size()));
    p.insert(QStringLiteral("Signalpost.Retention.distinctDaysUsedLastMonth"),
             QString::number(SessionManager::countDaysSince(cutOff, days)));
    p.insert(QStringLiteral("Signalpost.Retention.totalSessionsCount"),
             QString::number(sessions.totalSessionsCount(defaults.get())));

    const QList<SessionManager::StoredSession> recent = sessions.recentSessions();
    if (recent.size() >= 2) {
        p.insert(QStringLiteral("Signalpost.Retention.previousSessionSeconds"),
                 QString::number(recent[recent.size() - 2].durationInSeconds));
    }
    return p;
}

} // namespace signalpost
