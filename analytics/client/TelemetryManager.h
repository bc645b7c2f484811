#pragma once

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>
#include <memory>
#include <optional>

namespace signalpost {

class SignalManageable;
class TelemetryManagerConfiguration;

// The one analytics client behind the Signalpost facade: owns the configuration and the
// signal sender. Also carries the older static surface, which forwards to the facade.
class TelemetryManager {
public:
    enum class Kind {
        // Made by initialisation: sends, and starts the first session half a second later.
        initialized,
        // Stands in before initialisation: leaves the cache file alone and sends nothing.
        standIn,
    };

    explicit TelemetryManager(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                              Kind kind = Kind::initialized);
    ~TelemetryManager();
    TelemetryManager(const TelemetryManager&) = delete;
    TelemetryManager& operator=(const TelemetryManager&) = delete;

    // The stored manager, else a stand-in over an empty app ID with the session statistics off
    // (stored only in preview mode).
    static std::shared_ptr<TelemetryManager> current();

    static void initialize(const TelemetryManagerConfiguration& configuration);
    static void initialize(std::shared_ptr<TelemetryManagerConfiguration> configuration);
    static bool isInitialized();
    static void terminate();
    static void send(const QString& name, const QMap<QString, QString>& parameters = {});
    static void send(const QString& name, const std::optional<QString>& customUserID,
                     std::optional<double> floatValue, const QMap<QString, QString>& parameters);
    static void requestImmediateSync();
    static void updateDefaultUser(const std::optional<QString>& user);
    static void generateNewSession();

    std::shared_ptr<TelemetryManagerConfiguration> configuration() const;
    std::shared_ptr<SignalManageable> signalManager() const { return m_signalManager; }
    QString hashedDefaultUser() const;

    // Notes the time; a later willEnterForeground starts a new session after 300 seconds.
    void didEnterBackground();
    void willEnterForeground();

    // True, and the time noted, when no sync was asked for within the transmit interval.
    bool claimImmediateSync(const QDateTime& now);

private:
    std::shared_ptr<SignalManageable> m_signalManager;
    // Every access exclusive, reads included.
    mutable QMutex m_mutex;
    std::shared_ptr<TelemetryManagerConfiguration> m_configuration;
    QDateTime m_lastTimeImmediateSyncRequested;
    QDateTime m_lastDateAppEnteredBackground;
};

} // namespace signalpost
