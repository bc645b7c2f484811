#pragma once

#include "analytics/payload/DesktopSettings.h"

#include <QDateTime>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>

namespace signalpost {

// What the default payload describes, read from the running system at one moment: the app,
// the device, the system, the locale, the screen and the desktop's preferences.
struct PlatformFacts {
    QDateTime now; // in the current time zone
    int secondsFromGMT = 0;
    QVariantMap infoDictionary;
    QString kernelRelease; // uname's release, for example 6.1.0-18-amd64
    QString architecture;  // what the program was built for
    QString modelName;
    QString localeIdentifier;
    std::optional<QString> localeRegion;
    std::optional<QString> localeLanguageCode;
    QStringList preferredLanguages;
    // None without a screen.
    std::optional<QSizeF> screenSize; // in device-independent pixels
    std::optional<double> screenScaleFactor;
    // None without an application object.
    std::optional<Qt::LayoutDirection> layoutDirection;
    std::optional<DesktopSettings::ColorScheme> colorScheme;
    std::optional<DesktopSettings::Accessibility> accessibility;
    bool isSandboxReceipt = false;

    static PlatformFacts current();

    // The DMI product name, else uname's machine field.
    static QString deviceModelName();
};

} // namespace signalpost
