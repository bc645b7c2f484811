#include "analytics/pipeline/SignalSendWorker.h"

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/pipeline/SignalManager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

using Level = LogHandler::LogLevel;

std::optional<QString> utf8Text(const QByteArray& data) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

int delayMSecs(double seconds) {
    // NaN or negative settings would otherwise become an undefined integer conversion.
    if (!(seconds > 0)) {
        return 0;
    }
    const double msecs = seconds * 1000.0;
    if (msecs >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(std::llround(msecs));
}

} // namespace

SignalSendWorker::SignalSendWorker(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                                   std::shared_ptr<SignalCache> cache)
    : m_configuration(std::move(configuration))
    , m_cache(std::move(cache))
    , m_sendTimer(new QTimer(this)) {
    m_sendTimer->setSingleShot(true);
    m_sendTimer->setTimerType(Qt::PreciseTimer);
    connect(m_sendTimer, &QTimer::timeout, this, &SignalSendWorker::attempt);
}

SignalSendWorker::~SignalSendWorker() = default;

void SignalSendWorker::log(Level level, const QString& message) const {
    signalpost::log(m_configuration->logHandler(), level, message);
}

bool SignalSendWorker::logsDebug() const {
    return wouldLog(m_configuration->logHandler(), Level::debug);
}

void SignalSendWorker::startSending() {
    attempt();
    recordOutcome(false);
}

void SignalSendWorker::attempt() {
    log(Level::debug, u"Current signal cache count: %1"_s.arg(m_cache->count()));
    // The pop is exclusive, so overlapping attempts never send the same body twice.
    const auto [id, batch] = popBatch();
    if (batch.isEmpty()) {
        batchSucceeded();
        return;
    }
    log(Level::info, u"Sending %1 signals leaving a cache of %2 signals"_s.arg(batch.size())
                         .arg(m_cache->count()));
    const auto data = SignalPostBody::encodeArray(batch, SignalPostBody::DateForm::wire);
    if (!data) {
        log(Level::error,
            u"Failed to encode signal batch: "_s + u"a float value is not a finite number"_s);
        if (const auto taken = takeBatch(id)) {
            batchFailed(*taken);
        }
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, id = id, data = *data] { send(id, data); }, Qt::QueuedConnection);
}

std::pair<quint64, QList<SignalPostBody>> SignalSendWorker::popBatch() {
    QMutexLocker locker(&m_inFlightMutex);
    QList<SignalPostBody> batch = m_cache->pop();
    const quint64 id = m_nextBatch++;
    if (!batch.isEmpty()) {
        m_inFlight.emplace(id, batch);
    }
    return {id, batch};
}

std::optional<QList<SignalPostBody>> SignalSendWorker::takeBatch(quint64 id) {
    QMutexLocker locker(&m_inFlightMutex);
    const auto found = m_inFlight.find(id);
    if (found == m_inFlight.end()) {
        return std::nullopt;
    }
    QList<SignalPostBody> batch = std::move(found->second);
    m_inFlight.erase(found);
    return batch;
}

bool SignalSendWorker::isInFlight(quint64 id) {
    QMutexLocker locker(&m_inFlightMutex);
    return m_inFlight.count(id) != 0;
}

void SignalSendWorker::reclaimBatchesInFlight() {
    QMutexLocker locker(&m_inFlightMutex);
    // Oldest batch first, each behind what was queued while it was away, as a failure would.
    for (auto& [id, batch] : m_inFlight) {
        m_cache->push(batch);
    }
    m_inFlight.clear();
}

QNetworkAccessManager* SignalSendWorker::network() {
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    return m_network;
}

void SignalSendWorker::send(quint64 id, const QByteArray& data) {
    if (!isInFlight(id)) {
        return; // reclaimed for a save: sent now, it could arrive twice
    }
    const auto ingestNamespace = m_configuration->ingestNamespace();
    const auto url = SignalPostBody::signalURL(m_configuration->apiBaseURL(), ingestNamespace);
    if (!url) {
        log(Level::error, u"Unable to construct signal API URL for namespace "_s +
                              ingestNamespace.value_or(u"nil"_s));
        log(Level::error, u"Invalid endpoint URL"_s);
        if (const auto batch = takeBatch(id)) {
            batchFailed(*batch);
        }
        return;
    }

    QNetworkRequest request(*url);
    request.setTransferTimeout(SignalManager::requestTimeoutMSecs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    // A batch is up to 100 bodies: decoded only when debug messages are kept.
    if (logsDebug()) {
        if (const auto text = utf8Text(data)) {
            log(Level::debug, *text);
        }
    }
    QNetworkReply* reply = network()->post(request, data);
    connect(reply, &QNetworkReply::finished, this, [this, reply, id] { handleReply(reply, id); });
}

void SignalSendWorker::handleReply(QNetworkReply* reply, quint64 id) {
    reply->deleteLater();
    const auto taken = takeBatch(id);
    if (!taken) {
        return; // reclaimed and saved: whatever the answer, the cache file has the batch
    }
    const QList<SignalPostBody>& batch = *taken;
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt reports 4xx and 5xx answers as errors too; only a missing status means that no HTTP
    // answer arrived.
    if (!statusAttribute.isValid() && reply->error() != QNetworkReply::NoError) {
        log(Level::error, reply->errorString());
        batchFailed(batch);
        return;
    }
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    const SignalManager::Classification classification = SignalManager::classifyResponse(status);
    switch (classification.outcome) {
    case SignalManager::Outcome::success:
        if (logsDebug()) {
            if (const auto text = utf8Text(reply->readAll())) {
                log(Level::debug, *text);
            }
        }
        batchSucceeded();
        return;
    case SignalManager::Outcome::rejected:
        log(Level::error, u"Dropping %1 signal(s): rejected by server %2"_s.arg(batch.size())
                              .arg(classification.text));
        batchSucceeded();
        return;
    case SignalManager::Outcome::temporaryFailure:
        log(Level::debug, u"Failed to send events (status %1), will try again later"_s.arg(status));
        batchFailed(batch);
        return;
    }
}

void SignalSendWorker::batchSucceeded() {
    recordOutcome(false);
}

void SignalSendWorker::batchFailed(const QList<SignalPostBody>& batch) {
    m_cache->push(batch);
    recordOutcome(true);
}

void SignalSendWorker::recordOutcome(bool failed) {
    // On the timer thread, the count's only writer, whichever thread the attempt ran on.
    QMetaObject::invokeMethod(
        this,
        [this, failed] {
            m_consecutiveFailures = failed ? m_consecutiveFailures + 1 : 0;
            scheduleSendTimer();
        },
        Qt::QueuedConnection);
}

void SignalSendWorker::scheduleSendTimer() {
    const double delay =
        SignalManager::sendTimerDelay(m_configuration->transmitInterval(),
                                      m_configuration->maxBackoffInterval(), m_consecutiveFailures);
    // start() replaces a pending timer, so at most one is ever armed.
    m_sendTimer->start(delayMSecs(delay));
}

} // namespace signalpost
