#pragma once

#include "analytics/base/LogHandler.h"
#include "analytics/base/SignalEnricher.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace signalpost {

// Every setting of the analytics client, shared by reference between the manager, the sender
// and every signal: a change made after initialisation is seen by every later reader. Fields
// sit behind a lock because readers run on several threads at once.
class TelemetryManagerConfiguration {
public:
    using DefaultParameters = std::function<QMap<QString, QString>()>;

    // The Signalpost ingest service; tests and local runs point `apiBaseURL` elsewhere.
    static QUrl defaultIngestBaseURL();

    explicit TelemetryManagerConfiguration(
        const QString& appID, const std::optional<QString>& salt = std::nullopt,
        const std::optional<QUrl>& baseURL = std::nullopt,
        const std::optional<QString>& ingestNamespace = std::nullopt);
    TelemetryManagerConfiguration(const TelemetryManagerConfiguration& other);
    TelemetryManagerConfiguration& operator=(const TelemetryManagerConfiguration&) = delete;

    QString telemetryAppID() const;
    void setTelemetryAppID(const QString& appID);
    QUrl apiBaseURL() const;
    void setApiBaseURL(const QUrl& url);
    // `namespace` is a C++ keyword.
    std::optional<QString> ingestNamespace() const;
    void setIngestNamespace(const std::optional<QString>& ingestNamespace);
    QString salt() const;
    void setSalt(const QString& salt);
    std::optional<QString> defaultUser() const;
    void setDefaultUser(const std::optional<QString>& user);
    std::optional<QString> defaultSignalPrefix() const;
    void setDefaultSignalPrefix(const std::optional<QString>& prefix);
    std::optional<QString> defaultParameterPrefix() const;
    void setDefaultParameterPrefix(const std::optional<QString>& prefix);
    DefaultParameters defaultParameters() const;
    void setDefaultParameters(DefaultParameters parameters);
    bool sendNewSessionBeganSignal() const;
    void setSendNewSessionBeganSignal(bool on);

    QUuid sessionID() const;
    // Also starts a session in the statistics and sends "Signalpost.Session.started" when
    // those switches are on, on every call, even with the same UUID.
    void setSessionID(const QUuid& sessionID);

    int cacheLimit() const;
    void setCacheLimit(int limit);
    double transmitInterval() const;
    void setTransmitInterval(double seconds);
    double maxBackoffInterval() const;
    void setMaxBackoffInterval(double seconds);
    bool sendSignalsInDebugConfiguration() const;
    void setSendSignalsInDebugConfiguration(bool on);

    std::optional<bool> rawTestMode() const;
    bool testMode() const;
    void setTestMode(bool on);
    std::optional<bool> rawSwiftUIPreviewMode() const;
    // Unless set, follows XCODE_RUNNING_FOR_PREVIEWS=1, read anew on every query.
    bool swiftUIPreviewMode() const;
    void setSwiftUIPreviewMode(bool on);

    bool analyticsDisabled() const;
    void setAnalyticsDisabled(bool disabled);
    bool reservedParameterWarningsEnabled() const;
    void setReservedParameterWarningsEnabled(bool on);
    bool sessionStatsEnabled() const;
    void setSessionStatsEnabled(bool on);
    bool showDebugLogs() const;
    void setShowDebugLogs(bool on);
    std::optional<LogHandler> logHandler() const;
    void setLogHandler(const std::optional<LogHandler>& handler);
    QList<std::shared_ptr<const SignalEnricher>> metadataEnrichers() const;
    void setMetadataEnrichers(const QList<std::shared_ptr<const SignalEnricher>>& enrichers);

private:
    struct Fields {
        QString telemetryAppID;
        QUrl apiBaseURL;
        std::optional<QString> ingestNamespace;
        QString salt;
        std::optional<QString> defaultUser;
        std::optional<QString> defaultSignalPrefix;
        std::optional<QString> defaultParameterPrefix;
        DefaultParameters defaultParameters;
        bool sendNewSessionBeganSignal = true;
        QUuid sessionID;
        int cacheLimit = 10000;
        double transmitInterval = 10.0;
        double maxBackoffInterval = 300.0;
        bool sendSignalsInDebugConfiguration = false;
        std::optional<bool> testMode;
        std::optional<bool> swiftUIPreviewMode;
        bool analyticsDisabled = false;
        bool reservedParameterWarningsEnabled = true;
        bool sessionStatsEnabled = true;
        bool showDebugLogs = false;
        std::optional<LogHandler> logHandler;
        QList<std::shared_ptr<const SignalEnricher>> metadataEnrichers;
    };

    template <typename T> T read(T Fields::*field) const {
        QMutexLocker locker(&m_mutex);
        return m_fields.*field;
    }
    template <typename T> void write(T Fields::*field, T value) {
        QMutexLocker locker(&m_mutex);
        m_fields.*field = std::move(value);
    }

    mutable QMutex m_mutex;
    Fields m_fields;
};

} // namespace signalpost
