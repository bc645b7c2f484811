#include "analytics/base/TelemetryManagerConfiguration.h"

#include "analytics/base/FacadeCalls.h"

using namespace Qt::StringLiterals;

namespace signalpost {

QUrl TelemetryManagerConfiguration::defaultIngestBaseURL() {
    // A deployment's address, chosen when it is built; the build's placeholder is on the
    // reserved .invalid domain, so no signal reaches anyone until a deployment sets it.
    return QUrl(QStringLiteral(SIGNALPOST_INGEST_BASE_URL));
}

TelemetryManagerConfiguration::TelemetryManagerConfiguration(
    const QString& appID, const std::optional<QString>& salt, const std::optional<QUrl>& baseURL,
    const std::optional<QString>& ingestNamespace) {
    m_fields.telemetryAppID = appID;
    m_fields.apiBaseURL = baseURL.value_or(defaultIngestBaseURL());
    m_fields.ingestNamespace = ingestNamespace;
    m_fields.salt = salt.value_or(QString());
    m_fields.defaultParameters = [] { return QMap<QString, QString>(); };
    m_fields.sessionID = QUuid::createUuid();
    m_fields.logHandler = LogHandler::platformDefault(LogHandler::LogLevel::info);
}

TelemetryManagerConfiguration::TelemetryManagerConfiguration(
    const TelemetryManagerConfiguration& other) {
    QMutexLocker locker(&other.m_mutex);
    m_fields = other.m_fields;
}

QString TelemetryManagerConfiguration::telemetryAppID() const {
    return read(&Fields::telemetryAppID);
}
void TelemetryManagerConfiguration::setTelemetryAppID(const QString& appID) {
    write(&Fields::telemetryAppID, appID);
}
QUrl TelemetryManagerConfiguration::apiBaseURL() const {
    return read(&Fields::apiBaseURL);
}
void TelemetryManagerConfiguration::setApiBaseURL(const QUrl& url) {
    write(&Fields::apiBaseURL, url);
}
std::optional<QString> TelemetryManagerConfiguration::ingestNamespace() const {
    return read(&Fields::ingestNamespace);
}
void TelemetryManagerConfiguration::setIngestNamespace(
    const std::optional<QString>& ingestNamespace) {
    write(&Fields::ingestNamespace, ingestNamespace);
}
QString TelemetryManagerConfiguration::salt() const {
    return read(&Fields::salt);
}
void TelemetryManagerConfiguration::setSalt(const QString& salt) {
    write(&Fields::salt, salt);
}
std::optional<QString> TelemetryManagerConfiguration::defaultUser() const {
    return read(&Fields::defaultUser);
}
void TelemetryManagerConfiguration::setDefaultUser(const std::optional<QString>& user) {
    write(&Fields::defaultUser, user);
}
std::optional<QString> TelemetryManagerConfiguration::defaultSignalPrefix() const {
    return read(&Fields::defaultSignalPrefix);
}
void TelemetryManagerConfiguration::setDefaultSignalPrefix(const std::optional<QString>& prefix) {
    write(&Fields::defaultSignalPrefix, prefix);
}
std::optional<QString> TelemetryManagerConfiguration::defaultParameterPrefix() const {
    return read(&Fields::defaultParameterPrefix);
}
void TelemetryManagerConfiguration::setDefaultParameterPrefix(
    const std::optional<QString>& prefix) {
    write(&Fields::defaultParameterPrefix, prefix);
}
TelemetryManagerConfiguration::DefaultParameters
TelemetryManagerConfiguration::defaultParameters() const {
    return read(&Fields::defaultParameters);
}
void TelemetryManagerConfiguration::setDefaultParameters(DefaultParameters parameters) {
    write(&Fields::defaultParameters, std::move(parameters));
}
bool TelemetryManagerConfiguration::sendNewSessionBeganSignal() const {
    return read(&Fields::sendNewSessionBeganSignal);
}
void TelemetryManagerConfiguration::setSendNewSessionBeganSignal(bool on) {
    write(&Fields::sendNewSessionBeganSignal, on);
}
QUuid TelemetryManagerConfiguration::sessionID() const {
    return read(&Fields::sessionID);
}

void TelemetryManagerConfiguration::setSessionID(const QUuid& sessionID) {
    write(&Fields::sessionID, sessionID);
    // The switches are read after the store and outside the lock: starting a session and
    // sending the signal both read this configuration again.
    if (sessionStatsEnabled()) {
        facade::startSessionStatistics();
    }
    if (sendNewSessionBeganSignal()) {
        facade::internalSignal(u"Signalpost.Session.started"_s);
    }
}

int TelemetryManagerConfiguration::cacheLimit() const {
    return read(&Fields::cacheLimit);
}
void TelemetryManagerConfiguration::setCacheLimit(int limit) {
    write(&Fields::cacheLimit, limit);
}
double TelemetryManagerConfiguration::transmitInterval() const {
    return read(&Fields::transmitInterval);
}
void TelemetryManagerConfiguration::setTransmitInterval(double seconds) {
    write(&Fields::transmitInterval, seconds);
}
double TelemetryManagerConfiguration::maxBackoffInterval() const {
    return read(&Fields::maxBackoffInterval);
}
void TelemetryManagerConfiguration::setMaxBackoffInterval(double seconds) {
    write(&Fields::maxBackoffInterval, seconds);
}
bool TelemetryManagerConfiguration::sendSignalsInDebugConfiguration() const {
    return read(&Fields::sendSignalsInDebugConfiguration);
}
void TelemetryManagerConfiguration::setSendSignalsInDebugConfiguration(bool on) {
    write(&Fields::sendSignalsInDebugConfiguration, on);
}
std::optional<bool> TelemetryManagerConfiguration::rawTestMode() const {
    return read(&Fields::testMode);
}
bool TelemetryManagerConfiguration::testMode() const {
    return rawTestMode().value_or(false);
}
void TelemetryManagerConfiguration::setTestMode(bool on) {
    write(&Fields::testMode, std::optional<bool>(on));
}
std::optional<bool> TelemetryManagerConfiguration::rawSwiftUIPreviewMode() const {
    return read(&Fields::swiftUIPreviewMode);
}
bool TelemetryManagerConfiguration::swiftUIPreviewMode() const {
    if (const auto stored = rawSwiftUIPreviewMode()) {
        return *stored;
    }
    return qEnvironmentVariable("XCODE_RUNNING_FOR_PREVIEWS") == QLatin1String("1");
}
void TelemetryManagerConfiguration::setSwiftUIPreviewMode(bool on) {
    write(&Fields::swiftUIPreviewMode, std::optional<bool>(on));
}
bool TelemetryManagerConfiguration::analyticsDisabled() const {
    return read(&Fields::analyticsDisabled);
}
void TelemetryManagerConfiguration::setAnalyticsDisabled(bool disabled) {
    write(&Fields::analyticsDisabled, disabled);
}
bool TelemetryManagerConfiguration::reservedParameterWarningsEnabled() const {
    return read(&Fields::reservedParameterWarningsEnabled);
}
void TelemetryManagerConfiguration::setReservedParameterWarningsEnabled(bool on) {
    write(&Fields::reservedParameterWarningsEnabled, on);
}
bool TelemetryManagerConfiguration::sessionStatsEnabled() const {
    return read(&Fields::sessionStatsEnabled);
}
void TelemetryManagerConfiguration::setSessionStatsEnabled(bool on) {
    write(&Fields::sessionStatsEnabled, on);
}
bool TelemetryManagerConfiguration::showDebugLogs() const {
    return read(&Fields::showDebugLogs);
}
void TelemetryManagerConfiguration::setShowDebugLogs(bool on) {
    write(&Fields::showDebugLogs, on);
}
std::optional<LogHandler> TelemetryManagerConfiguration::logHandler() const {
    return read(&Fields::logHandler);
}
void TelemetryManagerConfiguration::setLogHandler(const std::optional<LogHandler>& handler) {
    write(&Fields::logHandler, handler);
}
QList<std::shared_ptr<const SignalEnricher>>
TelemetryManagerConfiguration::metadataEnrichers() const {
    return read(&Fields::metadataEnrichers);
}
void TelemetryManagerConfiguration::setMetadataEnrichers(
    const QList<std::shared_ptr<const SignalEnricher>>& enrichers) {
    write(&Fields::metadataEnrichers, enrichers);
}

} // namespace signalpost
