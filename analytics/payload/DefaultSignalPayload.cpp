#include "analytics/payload/DefaultSignalPayload.h"

#include "analytics/payload/PlatformFacts.h"
#include "analytics/payload/SessionManager.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

using Parameters = QMap<QString, QString>;

QString boolText(bool value) {
    return value ? u"true"_s : u"false"_s;
}

QString infoText(const QVariantMap& info, const QString& key) {
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : u"0"_s;
}

QStringList pieces(const QString& identifier) {
    static const QRegularExpression separators(u"[-_]"_s);
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
    QString text = u"UTC"_s + (secondsFromGMT < 0 ? u'-' : u'+') + QString::number(std::abs(hours));
    if (minutes != 0) {
        text += u':' + u"%1"_s.arg(std::abs(minutes), 2, 10, QLatin1Char('0'));
    }
    return text;
}

QMap<QString, QString> DefaultSignalPayload::calendarParameters(const QDateTime& localNow) {
    const QDate date = localNow.date();
    const int dayOfWeek = date.dayOfWeek(); // Monday 1 .. Sunday 7
    return {
        {u"Signalpost.Calendar.dayOfMonth"_s, QString::number(date.day())},
        {u"Signalpost.Calendar.dayOfWeek"_s, QString::number(dayOfWeek)},
        {u"Signalpost.Calendar.dayOfYear"_s, QString::number(date.dayOfYear())},
        {u"Signalpost.Calendar.weekOfYear"_s, QString::number(weekOfYear(date))},
        {u"Signalpost.Calendar.isWeekend"_s, boolText(dayOfWeek >= 6)},
        {u"Signalpost.Calendar.monthOfYear"_s, QString::number(date.month())},
        {u"Signalpost.Calendar.quarterOfYear"_s, QString::number((date.month() - 1) / 3 + 1)},
        {u"Signalpost.Calendar.hourOfDay"_s, QString::number(localNow.time().hour() + 1)},
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
    const QString first = preferredLanguages.isEmpty() ? u"zz-ZZ"_s : preferredLanguages.first();
    return pieces(first).first();
}

QString DefaultSignalPayload::realNumberText(double value) {
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(u'.') && !text.contains(u'e') && !text.contains(u'n')) {
        text += u".0"_s;
    }
    return text;
}

QMap<QString, QString> DefaultSignalPayload::parameters() {
    return parameters(PlatformFacts::current(), SessionManager::shared());
}

QMap<QString, QString> DefaultSignalPayload::parameters(const PlatformFacts& facts,
                                                        const SessionManager& sessions) {
    const QString linuxName = u"Linux"_s;
    const SystemVersion version = systemVersion(facts.kernelRelease);
    const QString systemVersionText =
        u"%1 %2.%3.%4"_s.arg(linuxName).arg(version.major).arg(version.minor).arg(version.patch);
    const QString majorText = u"%1 %2"_s.arg(linuxName).arg(version.major);
    const QString majorMinorText =
        u"%1 %2.%3"_s.arg(linuxName).arg(version.major).arg(version.minor);
    const QString appVersion = infoText(facts.infoDictionary, u"CFBundleShortVersionString"_s);
    const QString buildNumber = infoText(facts.infoDictionary, u"CFBundleVersion"_s);
    const QString isTestFlight = boolText(facts.isSandboxReceipt);
    const QString isAppStore = boolText(!facts.isSandboxReceipt);
    const QString region = regionText(facts.localeIdentifier, facts.localeRegion);
    const QString appLanguage = appLanguageText(facts.localeIdentifier, facts.localeLanguageCode);
    const QString preferredLanguage = preferredLanguageText(facts.preferredLanguages);
    const QString sdkVersion = QString::fromLatin1(clientVersion);
    const QString notAvailable = u"N/A"_s;
    const QString falseText = boolText(false);
    const QString native = u"native"_s;

    QString layoutDirection = notAvailable;
    if (facts.layoutDirection) {
        layoutDirection =
            *facts.layoutDirection == Qt::LeftToRight ? u"leftToRight"_s : u"rightToLeft"_s;
    }
    QString colorScheme = notAvailable;
    if (facts.colorScheme) {
        colorScheme =
            *facts.colorScheme == DesktopSettings::ColorScheme::dark ? u"Dark"_s : u"Light"_s;
    }

    Parameters p{
        {u"platform"_s, linuxName},
        {u"systemVersion"_s, systemVersionText},
        {u"majorSystemVersion"_s, majorText},
        {u"majorMinorSystemVersion"_s, majorMinorText},
        {u"appVersion"_s, appVersion},
        {u"buildNumber"_s, buildNumber},
        {u"isSimulator"_s, falseText},
        {u"isDebug"_s, falseText},
        {u"isTestFlight"_s, isTestFlight},
        {u"isAppStore"_s, isAppStore},
        {u"modelName"_s, facts.modelName},
        {u"architecture"_s, facts.architecture},
        {u"operatingSystem"_s, linuxName},
        {u"targetEnvironment"_s, native},
        {u"locale"_s, facts.localeIdentifier},
        {u"region"_s, region},
        {u"appLanguage"_s, appLanguage},
        {u"preferredLanguage"_s, preferredLanguage},
        {u"telemetryClientVersion"_s, sdkVersion},
        {u"Signalpost.AppInfo.buildNumber"_s, buildNumber},
        {u"Signalpost.AppInfo.version"_s, appVersion},
        {u"Signalpost.AppInfo.versionAndBuildNumber"_s,
         appVersion + u" (build "_s + buildNumber + u')'},
        {u"Signalpost.Device.architecture"_s, facts.architecture},
        {u"Signalpost.Device.modelName"_s, facts.modelName},
        {u"Signalpost.Device.operatingSystem"_s, linuxName},
        {u"Signalpost.Device.orientation"_s, u"Fixed"_s},
        {u"Signalpost.Device.platform"_s, linuxName},
        {u"Signalpost.Device.screenResolutionHeight"_s,
         facts.screenSize ? realNumberText(facts.screenSize->height()) : notAvailable},
        {u"Signalpost.Device.screenResolutionWidth"_s,
         facts.screenSize ? realNumberText(facts.screenSize->width()) : notAvailable},
        {u"Signalpost.Device.screenScaleFactor"_s,
         facts.screenScaleFactor ? realNumberText(*facts.screenScaleFactor) : notAvailable},
        {u"Signalpost.Device.systemMajorMinorVersion"_s, majorMinorText},
        {u"Signalpost.Device.systemMajorVersion"_s, majorText},
        {u"Signalpost.Device.systemVersion"_s, systemVersionText},
        {u"Signalpost.Device.timeZone"_s, timeZoneText(facts.secondsFromGMT)},
        {u"Signalpost.RunContext.isAppStore"_s, isAppStore},
        {u"Signalpost.RunContext.isDebug"_s, falseText},
        {u"Signalpost.RunContext.isSimulator"_s, falseText},
        {u"Signalpost.RunContext.isTestFlight"_s, isTestFlight},
        {u"Signalpost.RunContext.language"_s, appLanguage},
        {u"Signalpost.RunContext.locale"_s, facts.localeIdentifier},
        {u"Signalpost.RunContext.targetEnvironment"_s, native},
        {u"Signalpost.SDK.name"_s, u"NativeSDK"_s},
        {u"Signalpost.SDK.nameAndVersion"_s, u"NativeSDK "_s + sdkVersion},
        {u"Signalpost.SDK.version"_s, sdkVersion},
        {u"Signalpost.UserPreference.colorScheme"_s, colorScheme},
        {u"Signalpost.UserPreference.language"_s, preferredLanguage},
        {u"Signalpost.UserPreference.layoutDirection"_s, layoutDirection},
        {u"Signalpost.UserPreference.region"_s, region},
    };

    if (facts.accessibility) {
        p.insert(u"Signalpost.Accessibility.isReduceMotionEnabled"_s,
                 boolText(facts.accessibility->reduceMotion));
        p.insert(u"Signalpost.Accessibility.isInvertColorsEnabled"_s,
                 boolText(facts.accessibility->invertColors));
    }

    p.insert(calendarParameters(facts.now));

    const QVariant extension = facts.infoDictionary.value(u"NSExtension"_s);
    if (extension.typeId() == QMetaType::QVariantMap) {
        const QVariant point = extension.toMap().value(u"NSExtensionPointIdentifier"_s);
        if (point.typeId() == QMetaType::QString) {
            p.insert(u"extensionIdentifier"_s, point.toString());
            p.insert(u"Signalpost.RunContext.extensionIdentifier"_s, point.toString());
        }
    }

    // Opened once for the three figures kept in it.
    const std::unique_ptr<QSettings> defaults = sessions.store();
    QString firstSessionDate = dateText(facts.now.date());
    if (defaults) {
        const QVariant stored = defaults->value(u"firstSessionDate"_s);
        if (stored.typeId() == QMetaType::QString) {
            firstSessionDate = stored.toString();
        }
    }
    const QStringList days = SessionManager::distinctDaysUsed(defaults.get());
    const QString cutOff = dateText(facts.now.toUTC().addSecs(-2592000).date());
    p.insert(u"Signalpost.Acquisition.firstSessionDate"_s, firstSessionDate);
    p.insert(u"Signalpost.Retention.averageSessionSeconds"_s,
             QString::number(sessions.averageSessionSeconds()));
    p.insert(u"Signalpost.Retention.distinctDaysUsed"_s, QString::number(days.size()));
    p.insert(u"Signalpost.Retention.distinctDaysUsedLastMonth"_s,
             QString::number(SessionManager::countDaysSince(cutOff, days)));
    p.insert(u"Signalpost.Retention.totalSessionsCount"_s,
             QString::number(sessions.totalSessionsCount(defaults.get())));

    const QList<SessionManager::StoredSession> recent = sessions.recentSessions();
    if (recent.size() >= 2) {
        p.insert(u"Signalpost.Retention.previousSessionSeconds"_s,
                 QString::number(recent[recent.size() - 2].durationInSeconds));
    }
    return p;
}

} // namespace signalpost
