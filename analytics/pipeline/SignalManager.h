#pragma once

#include "analytics/pipeline/SignalManageable.h"

#include <QMetaObject>
#include <QMutex>
#include <QString>
#include <memory>
#include <optional>

class QThread;

namespace signalpost {

class PendingSignalWork;
class SignalCache;
class SignalSendWorker;
class TelemetryManagerConfiguration;

// Moves signals from their callers to the ingest service: owns the signal cache, builds the
// bodies, sends at most 100 of them per attempt on a one-shot timer that backs off after
// failures, and saves the cache when the application quits.
class SignalManager final : public SignalManageable {
public:
    enum class Mode {
        // Loads and deletes the cache file, sends, and saves the cache on quit.
        sending,
        // Touches neither the cache file nor the network; signals are dropped. For the stand-in
        // manager used before the client is initialised.
        detached,
    };

    enum class Outcome { success, rejected, temporaryFailure };
    struct Classification {
        Outcome outcome;
        QString text; // the rejection's text, else empty
    };

    // Transfer limit of one batch request.
    static constexpr int requestTimeoutMSecs = 60000;

    explicit SignalManager(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                           Mode mode = Mode::sending);
    ~SignalManager() override;
    SignalManager(const SignalManager&) = delete;
    SignalManager& operator=(const SignalManager&) = delete;

    void
    enqueueSignal(const QString& name, const QMap<QString, QString>& parameters,
                  std::optional<double> floatValue, const std::optional<QString>& customUserID,
                  const std::shared_ptr<TelemetryManagerConfiguration>& configuration) override;
    void
    processSignal(const QString& name, const QMap<QString, QString>& parameters,
                  std::optional<double> floatValue, const std::optional<QString>& customUserID,
                  const std::shared_ptr<TelemetryManagerConfiguration>& configuration) override;
    void sendNextBatch() override;
    // The configured default user, else the identifier kept in the defaults suite, else a new
    // one (kept when there is a suite).
    QString defaultUserIdentifier() const override;
    void handOn(const std::shared_ptr<SignalManageable>& successor) override;
    void adopt(const QList<EncodedSignal>& queued) override;

    // Saves the cache to disk with every signal handed over and every batch in flight;
    // connected to QCoreApplication::aboutToQuit.
    void appWillTerminate();

    // Failures since the last success, rejection or empty attempt.
    int consecutiveFailures() const;

    static Classification classifyResponse(int httpStatus);
    // Seconds until the next attempt: min(transmitInterval x 2^failures, maxBackoffInterval).
    static double sendTimerDelay(double transmitInterval, double maxBackoffInterval,
                                 int consecutiveFailures);

private:
    std::shared_ptr<TelemetryManagerConfiguration> m_configuration;
    std::shared_ptr<SignalCache> m_signalCache;
    std::shared_ptr<PendingSignalWork> m_pending;
    // Set once this sender is replaced; guards the hand-over against signals arriving meanwhile.
    QMutex m_successorMutex;
    std::weak_ptr<SignalManageable> m_successor;
    QThread* m_timerThread = nullptr;
    SignalSendWorker* m_worker = nullptr;
    QMetaObject::Connection m_terminateConnection;
};

} // namespace signalpost
