#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace signalpost {

class SessionManager;
struct PlatformFacts;

// The default parameters every signal carries (app, device, system, locale, calendar,
// accessibility, retention), computed afresh for each signal on the main thread; a caller's
// parameter of the same key replaces a default.
class DefaultSignalPayload {
public:
    static constexpr const char* clientVersion = "2.14.2";

    // From the running system and the shared session statistics.
    static QMap<QString, QString> parameters();
    static QMap<QString, QString> parameters(const PlatformFacts& facts,
                                             const SessionManager& sessions);

    struct SystemVersion {
        int major = 0;
        int minor = 0;
        int patch = 0;
    };
    // The leading dotted numbers of a kernel release; a missing part is 0.
    static SystemVersion systemVersion(QStringView kernelRelease);
    // "UTC+5:30" and the like.
    static QString timeZoneText(int secondsFromGMT);
    // Gregorian, Monday 1 to Sunday 7, weeks from Sunday with week 1 holding 1 January, hours
    // 1 to 24.
    static QMap<QString, QString> calendarParameters(const QDateTime& localNow);
    static QString regionText(const QString& localeIdentifier,
                              const std::optional<QString>& region);
    static QString appLanguageText(const QString& localeIdentifier,
                                   const std::optional<QString>& languageCode);
    static QString preferredLanguageText(const QStringList& preferredLanguages);
    // The shortest text that reads back as `value`, always with a fractional part.
    static QString realNumberText(double value);
};

} // namespace signalpost
