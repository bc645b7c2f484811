#pragma once

#include "analytics/client/LogHandler.h"
#include "analytics/pipeline/SignalPostBody.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <atomic>
#include <memory>

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

private:
    void send(const QList<SignalPostBody>& batch, const QByteArray& data);
    void handleReply(QNetworkReply* reply, const QList<SignalPostBody>& batch);
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
};

} // namespace signalpost
