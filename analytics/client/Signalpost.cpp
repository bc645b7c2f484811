#include "analytics/client/Signalpost.h"

#include "analytics/client/TelemetryManager.h"
#include "analytics/client/TelemetryManagerConfiguration.h"
#include "analytics/client/TelemetryManagerStorage.h"
#include "analytics/client/UserIdentifierHashing.h"
#include "analytics/pipeline/SignalManageable.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QUuid>

namespace signalpost {
namespace {

using Level = LogHandler::LogLevel;

const QLatin1String reservedPrefix("signalpost.");

bool hasReservedPrefix(const QString& text) {
    return text.startsWith(reservedPrefix, Qt::CaseInsensitive);
}

bool isReserved(const QString& text) {
    return Signalpost::reservedSignalNames().contains(text.toLower());
}

void warnAboutKeys(const std::optional<LogHandler>& handler,
                   const QMap<QString, QString>& parameters) {
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (hasReservedPrefix(it.key())) {
            log(handler, Level::error,
                QStringLiteral("Sending parameter with reserved key prefix 'Signalpost.' will "
                               "cause unexpected behavior. Please use another prefix instead."));
        } else if (isReserved(it.key())) {
            log(handler, Level::error,
                QStringLiteral("Sending parameter with reserved key '") + it.key() +
                    QStringLiteral("' will cause unexpected behavior. Please use another key "
                                   "instead."));
        }
    }
}

bool isBlocked(const TelemetryManagerConfiguration& configuration) {
    return configuration.swiftUIPreviewMode() || configuration.analyticsDisabled();
}

// The shared half of both signal paths, on the manager and configuration they looked up.
void enqueue(std::shared_ptr<TelemetryManager> manager,
             std::shared_ptr<TelemetryManagerConfiguration> configuration, const QString& name,
             const QMap<QString, QString>& parameters, std::optional<double> floatValue,
             std::optional<QString> customUserID) {
    const auto defaultParametersFunction = configuration->defaultParameters();
    const QMap<QString, QString> defaults = applyDefaultPrefix(
        defaultParametersFunction ? defaultParametersFunction() : QMap<QString, QString>(),
        *configuration);
    QMap<QString, QString> merged = defaults;
    merged.insert(parameters);
    // Only the defaults are checked here, and always: the caller's keys were checked on the
    // public path when its switch is on.
    warnAboutKeys(configuration->logHandler(), defaults);

    auto process = [manager = std::move(manager), configuration = std::move(configuration), name,
                    merged = std::move(merged), floatValue,
                    customUserID = std::move(customUserID)] {
        manager->signalManager()->processSignal(name, merged, floatValue, customUserID,
                                                configuration);
    };
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, std::move(process), Qt::QueuedConnection);
    } else {
        process();
    }
}

void installManager(std::shared_ptr<TelemetryManager> manager) {
    // The replaced manager, if this held the last reference, ends here outside the lock.
    TelemetryManagerStorage::exchange(std::move(manager));
}

} // namespace

void Signalpost::initialize(const TelemetryManagerConfiguration& configuration) {
    initialize(std::make_shared<TelemetryManagerConfiguration>(configuration));
}

void Signalpost::initialize(std::shared_ptr<TelemetryManagerConfiguration> configuration) {
    installManager(std::make_shared<TelemetryManager>(std::move(configuration)));
}

void Signalpost::terminate() {
    installManager(nullptr);
}

void Signalpost::signal(const QString& name, const QMap<QString, QString>& parameters,
                        std::optional<double> floatValue, std::optional<QString> customUserID) {
    auto manager = TelemetryManager::current();
    auto configuration = manager->configuration();
    if (isBlocked(*configuration)) {
        return;
    }
    const QString prefixedName = configuration->defaultSignalPrefix().value_or(QString()) + name;
    const QMap<QString, QString> prefixedParameters =
        applyDefaultPrefix(parameters, *configuration);

    if (configuration->reservedParameterWarningsEnabled()) {
        const auto handler = configuration->logHandler();
        if (hasReservedPrefix(prefixedName)) {
            log(handler, Level::error,
                QStringLiteral("Sending signal with reserved prefix 'Signalpost.' will cause "
                               "unexpected behavior. Please use another prefix instead."));
        } else if (isReserved(prefixedName)) {
            log(handler, Level::error,
                QStringLiteral("Sending signal with reserved name '") + prefixedName +
                    QStringLiteral("' will cause unexpected behavior. Please use another name "
                                   "instead."));
        }
        warnAboutKeys(handler, prefixedParameters);
    }
    enqueue(std::move(manager), std::move(configuration), prefixedName, prefixedParameters,
            floatValue, std::move(customUserID));
}

void Signalpost::internalSignal(const QString& name, const QMap<QString, QString>& parameters,
                                std::optional<double> floatValue,
                                std::optional<QString> customUserID) {
    auto manager = TelemetryManager::current();
    auto configuration = manager->configuration();
    if (isBlocked(*configuration)) {
        return;
    }
    enqueue(std::move(manager), std::move(configuration), name, parameters, floatValue,
            std::move(customUserID));
}

void Signalpost::requestImmediateSync() {
    auto manager = TelemetryManager::current();
    if (!manager->claimImmediateSync(QDateTime::currentDateTimeUtc())) {
        return;
    }
    std::weak_ptr<TelemetryManager> weak = manager;
    manager.reset();
    QThreadPool::globalInstance()->start([weak] {
        QThread::msleep(50);
        if (auto alive = weak.lock()) {
            alive->signalManager()->sendNextBatch();
        }
    });
}

void Signalpost::updateDefaultUser(const std::optional<QString>& user) {
    TelemetryManager::current()->configuration()->setDefaultUser(user);
}

void Signalpost::generateNewSession() {
    TelemetryManager::current()->configuration()->setSessionID(QUuid::createUuid());
}

QString Signalpost::defaultsSuiteName(const QString& appID) {
    return QStringLiteral("com.signalpost.") + sha256HexDigest(appID, QString()).right(12);
}

std::unique_ptr<QSettings> Signalpost::defaultsSuite() {
    const auto manager = TelemetryManagerStorage::manager();
    if (!manager) {
        return nullptr;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString name = defaultsSuiteName(manager->configuration()->telemetryAppID());
    return std::make_unique<QSettings>(folder + QLatin1Char('/') + name + QStringLiteral(".ini"),
                                       QSettings::IniFormat);
}

const QSet<QString>& Signalpost::reservedSignalNames() {
    static const QSet<QString> names = [] {
        const char* const list[] = {"type",
                                    "clientUser",
                                    "appID",
                                    "sessionID",
                                    "floatValue",
                                    "newSessionBegan",
                                    "platform",
                                    "systemVersion",
                                    "majorSystemVersion",
                                    "majorMinorSystemVersion",
                                    "appVersion",
                                    "buildNumber",
                                    "isSimulator",
                                    "isDebug",
                                    "isTestFlight",
                                    "isAppStore",
                                    "modelName",
                                    "architecture",
                                    "operatingSystem",
                                    "targetEnvironment",
                                    "locale",
                                    "region",
                                    "appLanguage",
                                    "preferredLanguage",
                                    "telemetryClientVersion"};
        QSet<QString> set;
        for (const char* name : list) {
            set.insert(QString::fromLatin1(name).toLower());
        }
        return set;
    }();
    return names;
}

} // namespace signalpost
