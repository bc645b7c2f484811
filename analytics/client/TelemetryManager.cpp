#include "analytics/client/TelemetryManager.h"

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManagerStorage.h"
#include "analytics/pipeline/SignalManager.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUuid>

namespace signalpost {

TelemetryManager::TelemetryManager(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                                   Kind kind)
    : m_configuration(std::move(configuration))
    , m_lastTimeImmediateSyncRequested(distantPast())
    , m_lastDateAppEnteredBackground(distantPast()) {
    m_signalManager = std::make_shared<SignalManager>(
        m_configuration,
        kind == Kind::initialized ? SignalManager::Mode::sending : SignalManager::Mode::detached);
    // A stand-in schedules nothing: its first session would run on whichever manager is then
    // current, which before initialisation is yet another stand-in, and so on for ever.
    if (kind != Kind::initialized) {
        return;
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [app] {
                QTimer::singleShot(500, app, [] {
                    const auto configuration = TelemetryManager::current()->configuration();
                    configuration->setSessionID(QUuid::createUuid());
                });
            },
            Qt::QueuedConnection);
    }
}

TelemetryManager::~TelemetryManager() = default;

std::shared_ptr<TelemetryManager> TelemetryManager::current() {
    if (auto stored = TelemetryManagerStorage::manager()) {
        return stored;
    }
    auto configuration = std::make_shared<TelemetryManagerConfiguration>(QString());
    // Its sessions would reach the shared statistics, built once per process: built now, they
    // would have no suite to load the stored sessions from, and would write over them later.
    configuration->setSessionStatsEnabled(false);
    auto standIn = std::make_shared<TelemetryManager>(configuration, Kind::standIn);
    if (configuration->swiftUIPreviewMode()) {
        TelemetryManagerStorage::exchange(standIn);
    }
    return standIn;
}

void TelemetryManager::initialize(const TelemetryManagerConfiguration& configuration) {
    Signalpost::initialize(configuration);
}

void TelemetryManager::initialize(std::shared_ptr<TelemetryManagerConfiguration> configuration) {
    Signalpost::initialize(std::move(configuration));
}

bool TelemetryManager::isInitialized() {
    return TelemetryManagerStorage::manager() != nullptr;
}

void TelemetryManager::terminate() {
    Signalpost::terminate();
}

void TelemetryManager::send(const QString& name, const QMap<QString, QString>& parameters) {
    Signalpost::signal(name, parameters);
}

void TelemetryManager::send(const QString& name, const std::optional<QString>& customUserID,
                            std::optional<double> floatValue,
                            const QMap<QString, QString>& parameters) {
    Signalpost::signal(name, parameters, floatValue, customUserID);
}

void TelemetryManager::requestImmediateSync() {
    Signalpost::requestImmediateSync();
}

void TelemetryManager::updateDefaultUser(const std::optional<QString>& user) {
    Signalpost::updateDefaultUser(user);
}

void TelemetryManager::generateNewSession() {
    Signalpost::generateNewSession();
}

std::shared_ptr<TelemetryManagerConfiguration> TelemetryManager::configuration() const {
    QMutexLocker locker(&m_mutex);
    return m_configuration;
}

QString TelemetryManager::hashedDefaultUser() const {
    return sha256HexDigest(m_signalManager->defaultUserIdentifier(), configuration()->salt());
}

void TelemetryManager::didEnterBackground() {
    QMutexLocker locker(&m_mutex);
    m_lastDateAppEnteredBackground = QDateTime::currentDateTimeUtc();
}

void TelemetryManager::willEnterForeground() {
    QDateTime enteredBackground;
    {
        QMutexLocker locker(&m_mutex);
        enteredBackground = m_lastDateAppEnteredBackground;
    }
    if (enteredBackground.addSecs(300) < QDateTime::currentDateTimeUtc()) {
        Signalpost::generateNewSession();
    }
}

bool TelemetryManager::claimImmediateSync(const QDateTime& now) {
    const double interval = configuration()->transmitInterval();
    QMutexLocker locker(&m_mutex);
    const double since = m_lastTimeImmediateSyncRequested.msecsTo(now) / 1000.0;
    if (!(since > interval)) {
        return false;
    }
    m_lastTimeImmediateSyncRequested = now;
    return true;
}

} // namespace signalpost
