#include "analytics/payload/PlatformFacts.h"

#include "analytics/payload/MainBundle.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QSysInfo>
#include <sys/utsname.h>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

QString machine() {
    utsname names{};
    if (uname(&names) != 0) {
        return QString();
    }
    return QString::fromLatin1(names.machine);
}

// Fixed for the life of the process.
const QString& currentKernelRelease() {
    static const QString release = [] {
        utsname names{};
        return uname(&names) == 0 ? QString::fromLatin1(names.release) : QString();
    }();
    return release;
}

std::optional<DesktopSettings::ColorScheme> currentColorScheme() {
    if (const auto desktop = DesktopSettings::colorScheme()) {
        return desktop;
    }
    // Other desktops show their scheme through the platform theme's palette.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return std::nullopt;
    }
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() <
                   palette.color(QPalette::WindowText).lightness()
               ? DesktopSettings::ColorScheme::dark
               : DesktopSettings::ColorScheme::light;
}

} // namespace

QString PlatformFacts::deviceModelName() {
    QFile file(u"/sys/devices/virtual/dmi/id/product_name"_s);
    if (file.open(QIODevice::ReadOnly)) {
        QByteArray bytes = file.read(256);
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0) {
            bytes.truncate(nul);
        }
        QString name = QString::fromUtf8(bytes).trimmed();
        if (!name.isEmpty()) {
            return name;
        }
    }
    return machine();
}

PlatformFacts PlatformFacts::current() {
    PlatformFacts facts;
    facts.now = QDateTime::currentDateTime();
    facts.secondsFromGMT = facts.now.offsetFromUtc();
    facts.infoDictionary = MainBundle::infoDictionary();
    facts.kernelRelease = currentKernelRelease();
    facts.architecture = QSysInfo::buildCpuArchitecture();
    // The hardware does not change while the program runs.
    static const QString modelName = deviceModelName();
    facts.modelName = modelName;

    const QLocale locale = QLocale::system();
    facts.localeIdentifier = locale.name();
    if (locale.territory() != QLocale::AnyTerritory) {
        facts.localeRegion = QLocale::territoryToCode(locale.territory());
    }
    if (locale.language() != QLocale::C && locale.language() != QLocale::AnyLanguage) {
        facts.localeLanguageCode = QLocale::languageToCode(locale.language());
    }
    facts.preferredLanguages = locale.uiLanguages();

    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            facts.screenSize = QSizeF(screen->geometry().size());
            facts.screenScaleFactor = screen->devicePixelRatio();
        }
        facts.layoutDirection = QGuiApplication::layoutDirection();
    }
    facts.colorScheme = currentColorScheme();
    facts.accessibility = DesktopSettings::accessibility();
    // No store hands this program a receipt.
    facts.isSandboxReceipt = false;
    return facts;
}

} // namespace signalpost
