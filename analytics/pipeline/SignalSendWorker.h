#pragma once

#include "analytics/base/LogHandler.h"
#include "analytics/pipeline/SignalPostBody.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace signalpost {

class SignalCache;
class TelemetryManagerConfiguration;

// The sending half of the signal sender. It lives on the sender's own timer thread, which
// owns the one-shot send timer, the failure count and the HTTP client; attempts may start on
// any thread and hand their request over to it.
class SignalSendWorker : public QObject {
    Q_OBJECT
public:
    SignalSendWorker(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                     std::shared_ptr<SignalCache> cache);
    ~SignalSendWorker() override;

    // One attempt: pop a batch on the calling thread and send it from the timer thread.
    void attempt();
    // The first attempt, then the first timer with the failure count reset.
    void startSending();

    int consecutiveFailures() const { return m_consecutiveFailures.load(); }

    // Puts every batch that is popped but not yet answered back into the cache, for a save;
    // their answers, when they come, change nothing. Callable from any thread.
    void reclaimBatchesInFlight();

private:
    // The popped batch is registered under the returned number before anyone can look for it.
    std::pair<quint64, QList<SignalPostBody>> popBatch();
    // The batch, unless it was reclaimed meanwhile.
    std::optional<QList<SignalPostBody>> takeBatch(quint64 id);
    bool isInFlight(quint64 id);
    void send(quint64 id, const QByteArray& data);
    void handleReply(QNetworkReply* reply, quint64 id);
    void batchSucceeded();
    void batchFailed(const QList<SignalPostBody>& batch);
    // Resets or raises the failure count and arms the send timer.
    void recordOutcome(bool failed);
    void scheduleSendTimer();
    QNetworkAccessManager* network();
    void log(LogHandler::LogLevel level, const QString& message) const;
    bool logsDebug() const;

    std::shared_ptr<TelemetryManagerConfiguration> m_configuration;
    std::shared_ptr<SignalCache> m_cache;
    QTimer* m_sendTimer = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    // Written on the timer thread only; atomic for readers on other threads.
    std::atomic<int> m_consecutiveFailures{0};
    // Batches popped from the cache and not yet answered: held under the lock from the pop on,
    // so that a body is always either in the cache or here.
    QMutex m_inFlightMutex;
    std::map<quint64, QList<SignalPostBody>> m_inFlight;
    quint64 m_nextBatch = 0;
};

} // namespace signalpost
