#include "analytics/client/Signalpost.h"

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/client/TelemetryManagerStorage.h"
#include "analytics/pipeline/SignalManageable.h"
#include "analytics/presets/IdentifiableError.h"
#include "analytics/purchases/PurchaseParameters.h"
#include "analytics/purchases/StoreTransaction.h"
#include "analytics/purchases/TrialConversionTracker.h"
#include "analytics/tracking/DurationSignalTracker.h"
#include "analytics/tracking/NavigationStatus.h"

#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QUuid>

using namespace Qt::StringLiterals;

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
                u"Sending parameter with reserved key prefix 'Signalpost.' will "
                "cause unexpected behavior. Please use another prefix instead."_s);
        } else if (isReserved(it.key())) {
            log(handler, Level::error,
                u"Sending parameter with reserved key '"_s + it.key() +
                    u"' will cause unexpected behavior. Please use another key "
                    "instead."_s);
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

    // The sender keeps the signal until it is processed on the main thread, so that a quit
    // coming first still finds it.
    manager->signalManager()->enqueueSignal(name, merged, floatValue, customUserID, configuration);
}

// The preset's own parameters under the caller's.
QMap<QString, QString> merged(QMap<QString, QString> preset,
                              const QMap<QString, QString>& parameters) {
    preset.insert(parameters);
    return preset;
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
    auto manager = std::make_shared<TelemetryManager>(std::move(configuration));
    const auto successor = manager->signalManager();
    // What the replaced manager still holds goes on with its successor.
    if (const auto previous = TelemetryManagerStorage::exchange(std::move(manager))) {
        previous->signalManager()->handOn(successor);
    }
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
                u"Sending signal with reserved prefix 'Signalpost.' will cause "
                "unexpected behavior. Please use another prefix instead."_s);
        } else if (isReserved(prefixedName)) {
            log(handler, Level::error,
                u"Sending signal with reserved name '"_s + prefixedName +
                    u"' will cause unexpected behavior. Please use another name "
                    "instead."_s);
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

void Signalpost::startDurationSignal(const QString& name, const QMap<QString, QString>& parameters,
                                     bool includeBackgroundTime) {
    DurationSignalTracker::shared().startTracking(name, parameters, includeBackgroundTime);
}

void Signalpost::cancelDurationSignal(const QString& name) {
    DurationSignalTracker::shared().stopTracking(name);
}

void Signalpost::stopAndSendDurationSignal(const QString& name,
                                           const QMap<QString, QString>& parameters,
                                           std::optional<double> floatValue,
                                           std::optional<QString> customUserID) {
    const auto measurement = DurationSignalTracker::shared().stopTracking(name);
    if (!measurement) {
        return;
    }
    QMap<QString, QString> durationParameters{
        {u"Signalpost.Signal.durationInSeconds"_s,
         DurationSignalTracker::secondsText(measurement->seconds)}};
    durationParameters.insert(measurement->parameters);
    durationParameters.insert(parameters);
    internalSignal(name, durationParameters, floatValue, std::move(customUserID));
}

void Signalpost::userAcquired(const QString& channel, const QMap<QString, QString>& parameters,
                              std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Acquisition.userAcquired"_s,
                   merged({{u"Signalpost.Acquisition.channel"_s, channel}}, parameters),
                   std::nullopt, std::move(customUserID));
}

void Signalpost::leadStarted(const QString& leadID, const QMap<QString, QString>& parameters,
                             std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Acquisition.leadStarted"_s,
                   merged({{u"Signalpost.Acquisition.leadID"_s, leadID}}, parameters), std::nullopt,
                   std::move(customUserID));
}

void Signalpost::leadConverted(const QString& leadID, const QMap<QString, QString>& parameters,
                               std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Acquisition.leadConverted"_s,
                   merged({{u"Signalpost.Acquisition.leadID"_s, leadID}}, parameters), std::nullopt,
                   std::move(customUserID));
}

void Signalpost::onboardingCompleted(const QMap<QString, QString>& parameters,
                                     std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Activation.onboardingCompleted"_s, parameters, std::nullopt,
                   std::move(customUserID));
}

void Signalpost::coreFeatureUsed(const QString& featureName,
                                 const QMap<QString, QString>& parameters,
                                 std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Activation.coreFeatureUsed"_s,
                   merged({{u"Signalpost.Activation.featureName"_s, featureName}}, parameters),
                   std::nullopt, std::move(customUserID));
}

void Signalpost::referralSent(int receiversCount, const std::optional<QString>& kind,
                              const QMap<QString, QString>& parameters,
                              std::optional<QString> customUserID) {
    QMap<QString, QString> preset{
        {u"Signalpost.Referral.receiversCount"_s, QString::number(receiversCount)}};
    if (kind) {
        preset.insert(u"Signalpost.Referral.kind"_s, *kind);
    }
    internalSignal(u"Signalpost.Referral.sent"_s, merged(preset, parameters), std::nullopt,
                   std::move(customUserID));
}

void Signalpost::userRatingSubmitted(int rating, const std::optional<QString>& comment,
                                     const QMap<QString, QString>& parameters,
                                     std::optional<QString> customUserID) {
    if (rating < 0 || rating > 10) {
        log(TelemetryManager::current()->configuration()->logHandler(), Level::error,
            u"Rating must be between 0 and 10"_s);
        return;
    }
    QMap<QString, QString> preset{{u"Signalpost.Referral.ratingValue"_s, QString::number(rating)}};
    if (comment) {
        preset.insert(u"Signalpost.Referral.ratingComment"_s, *comment);
    }
    internalSignal(u"Signalpost.Referral.userRatingSubmitted"_s, merged(preset, parameters),
                   std::nullopt, std::move(customUserID));
}

void Signalpost::paywallShown(const QString& reason, const QMap<QString, QString>& parameters,
                              std::optional<QString> customUserID) {
    internalSignal(u"Signalpost.Revenue.paywallShown"_s,
                   merged({{u"Signalpost.Revenue.paywallShowReason"_s, reason}}, parameters),
                   std::nullopt, std::move(customUserID));
}

void Signalpost::errorOccurred(const QString& id, std::optional<ErrorCategory> category,
                               const std::optional<QString>& message,
                               const QMap<QString, QString>& parameters,
                               std::optional<double> floatValue,
                               std::optional<QString> customUserID) {
    QMap<QString, QString> preset{{u"Signalpost.Error.id"_s, id}};
    if (category) {
        preset.insert(u"Signalpost.Error.category"_s, rawValue(*category));
    }
    if (message) {
        preset.insert(u"Signalpost.Error.message"_s, *message);
    }
    internalSignal(u"Signalpost.Error.occurred"_s, merged(preset, parameters), floatValue,
                   std::move(customUserID));
}

void Signalpost::errorOccurred(const IdentifiableError& error, ErrorCategory category,
                               const QMap<QString, QString>& parameters,
                               std::optional<double> floatValue,
                               std::optional<QString> customUserID) {
    errorOccurred(error.id(), category, error.localizedDescription(), parameters, floatValue,
                  std::move(customUserID));
}

void Signalpost::errorOccurred(const IdentifiableError& error, ErrorCategory category,
                               const std::optional<QString>& message,
                               const QMap<QString, QString>& parameters,
                               std::optional<double> floatValue,
                               std::optional<QString> customUserID) {
    errorOccurred(error.id(), category, message, parameters, floatValue, std::move(customUserID));
}

void Signalpost::purchaseCompleted(const StoreTransaction& transaction,
                                   const QMap<QString, QString>& parameters,
                                   std::optional<QString> customUserID) {
    const QMap<QString, QString> sent = merged(purchaseParameters(transaction), parameters);
    if (!startsFreeTrial(transaction)) {
        internalSignal(u"Signalpost.Purchase.completed"_s, sent, priceInUSD(transaction),
                       std::move(customUserID));
        return;
    }
    internalSignal(u"Signalpost.Purchase.freeTrialStarted"_s, sent, std::nullopt,
                   std::move(customUserID));
    TrialConversionTracker& tracker = TrialConversionTracker::shared();
    tracker.recordTrial(transaction.productID, transaction.originalID);
    tracker.startObservingTransactions();
}

void Signalpost::navigationPathChanged(const QString& from, const QString& to,
                                       const std::optional<QString>& customUserID) {
    NavigationStatus::shared().setPreviousNavigationPath(to);
    internalSignal(u"Signalpost.Navigation.pathChanged"_s,
                   {{u"Signalpost.Navigation.schemaVersion"_s, u"1"_s},
                    {u"Signalpost.Navigation.identifier"_s, from + u" -> "_s + to},
                    {u"Signalpost.Navigation.sourcePath"_s, from},
                    {u"Signalpost.Navigation.destinationPath"_s, to}},
                   std::nullopt, customUserID);
}

void Signalpost::navigationPathChanged(const QString& to,
                                       const std::optional<QString>& customUserID) {
    navigationPathChanged(NavigationStatus::shared().previousNavigationPath().value_or(QString()),
                          to, customUserID);
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
    return u"com.signalpost."_s + sha256HexDigest(appID, QString()).right(12);
}

std::unique_ptr<QSettings> Signalpost::defaultsSuite() {
    const auto manager = TelemetryManagerStorage::manager();
    if (!manager) {
        return nullptr;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString name = defaultsSuiteName(manager->configuration()->telemetryAppID());
    return std::make_unique<QSettings>(folder + QLatin1Char('/') + name + u".ini"_s,
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
