#include "analytics/pipeline/SignalManager.h"

#include "analytics/base/FacadeCalls.h"
#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/base/UserIdentifierHashing.h"
#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/pipeline/PendingSignalWork.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/pipeline/SignalSendWorker.h"

#include <QCoreApplication>
#include <QSettings>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace signalpost {
namespace {

using Level = LogHandler::LogLevel;

QString newUserIdentifier() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString describe(const SignalPostBody& body) {
    return QString::fromUtf8(body.toJson(SignalPostBody::DateForm::wire).value_or(QByteArray()));
}

QString storedUserIdentifier(const TelemetryManagerConfiguration& configuration) {
    if (const auto user = configuration.defaultUser()) {
        return *user;
    }
    const std::unique_ptr<QSettings> suite = facade::defaultsSuite();
    if (!suite) {
        return newUserIdentifier();
    }
    const QString key = u"defaultUserIdentifier"_s;
    QString stored = suite->value(key).toString();
    if (!stored.isEmpty()) {
        return stored;
    }
    QString identifier = newUserIdentifier();
    suite->setValue(key, identifier);
    return identifier;
}

// What building a body needs of its sender. A step keeps the configuration and the cache alive;
// `pending` is the object that runs the step, so it outlives it.
struct BodyBuilder {
    std::shared_ptr<TelemetryManagerConfiguration> managerConfiguration;
    std::shared_ptr<SignalCache> cache;
    PendingSignalWork* pending;

    void operator()(const QString& name, const QMap<QString, QString>& parameters,
                    std::optional<double> floatValue, const std::optional<QString>& customUserID,
                    const std::shared_ptr<TelemetryManagerConfiguration>& configuration) const;
};

void BodyBuilder::operator()(
    const QString& name, const QMap<QString, QString>& parameters, std::optional<double> floatValue,
    const std::optional<QString>& customUserID,
    const std::shared_ptr<TelemetryManagerConfiguration>& configuration) const {
    // Taken now, at the moment of the signal, on the caller's (the main) thread.
    const QString defaultUser = storedUserIdentifier(*managerConfiguration);
    const QMap<QString, QString> defaultPayload = DefaultSignalPayload::parameters();

    pending->toPool([cache = cache, configuration, name, parameters, floatValue, customUserID,
                     defaultUser, defaultPayload] {
        QMap<QString, QString> enriched;
        for (const auto& enricher : configuration->metadataEnrichers()) {
            if (!enricher) {
                continue;
            }
            const QMap<QString, QString> extra = enricher->enrich(name, customUserID, floatValue);
            enriched.insert(extra);
        }
        SignalPostBody body;
        body.payload = defaultPayload;
        body.payload.insert(enriched);
        body.payload.insert(parameters);
        body.receivedAt = QDateTime::currentDateTimeUtc();
        body.clientUser =
            sha256HexDigest(customUserID.value_or(defaultUser), configuration->salt());
        body.appID = configuration->telemetryAppID();
        body.sessionID = configuration->sessionID().toString(QUuid::WithoutBraces).toUpper();
        body.type = name;
        const auto handler = configuration->logHandler();
        if (floatValue && !std::isfinite(*floatValue)) {
            // JSON has no such number: kept, it would fail every batch and the cache file.
            log(handler, Level::error,
                u"Dropping the float value of signal '%1': not a finite number"_s.arg(name));
        } else {
            body.floatValue = floatValue;
        }
        body.isTestMode = configuration->testMode() ? u"true"_s : u"false"_s;
        // The whole body as JSON: built only when debug messages are kept.
        if (wouldLog(handler, Level::debug)) {
            log(handler, Level::debug, u"Process signal: "_s + describe(body));
        }
        cache->push(body);
    });
}

} // namespace

SignalManager::SignalManager(std::shared_ptr<TelemetryManagerConfiguration> configuration,
                             Mode mode)
    : m_configuration(std::move(configuration)) {
    if (mode == Mode::detached) {
        return;
    }
    m_timerThread = new QThread();
    m_timerThread->setObjectName(u"com.signalpost.SignalTimer"_s);
    const auto cacheLog =
        m_configuration->swiftUIPreviewMode() ? std::nullopt : m_configuration->logHandler();
    m_signalCache = std::make_shared<SignalCache>(cacheLog, m_configuration->cacheLimit());
    m_pending = std::make_shared<PendingSignalWork>();

    m_worker = new SignalSendWorker(m_configuration, m_signalCache);
    m_worker->moveToThread(m_timerThread);
    // Deleted on its own thread, with its timer and HTTP client, as the thread ends: the end
    // deletes what is due, while a deletion merely posted is skipped if the thread is busy in a
    // slot when asked to quit.
    QObject::connect(m_timerThread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_timerThread->start();

    if (QCoreApplication* app = QCoreApplication::instance()) {
        // Direct: the save runs on the main thread as it quits, not on some thread's loop; the
        // destructor disconnects it before anything it uses goes.
        m_terminateConnection = QObject::connect(
            app, &QCoreApplication::aboutToQuit, app, [this] { appWillTerminate(); },
            Qt::DirectConnection);
    }
    m_worker->startSending();
}

SignalManager::~SignalManager() {
    QObject::disconnect(m_terminateConnection);
    if (!m_timerThread) {
        return;
    }
    // The worker goes as the thread ends; replies still in flight are abandoned with it.
    m_timerThread->quit();
    if (QThread::currentThread() == m_timerThread) {
        // Cannot wait for the thread we run on; let it clean up after itself.
        QObject::connect(m_timerThread, &QThread::finished, m_timerThread, &QObject::deleteLater);
        return;
    }
    m_timerThread->wait();
    delete m_timerThread;
}

void SignalManager::enqueueSignal(
    const QString& name, const QMap<QString, QString>& parameters, std::optional<double> floatValue,
    const std::optional<QString>& customUserID,
    const std::shared_ptr<TelemetryManagerConfiguration>& configuration) {
    // Detached, the signal is dropped: nothing to build, and nothing to read from the session
    // statistics, which have no store before the client is initialised.
    if (!m_signalCache) {
        return;
    }
    QMutexLocker locker(&m_successorMutex);
    if (const auto successor = m_successor.lock()) {
        locker.unlock();
        successor->enqueueSignal(name, parameters, floatValue, customUserID, configuration);
        return;
    }
    m_pending->toMainThread([build = BodyBuilder{m_configuration, m_signalCache, m_pending.get()},
                             name, parameters, floatValue, customUserID, configuration] {
        build(name, parameters, floatValue, customUserID, configuration);
    });
}

void SignalManager::processSignal(
    const QString& name, const QMap<QString, QString>& parameters, std::optional<double> floatValue,
    const std::optional<QString>& customUserID,
    const std::shared_ptr<TelemetryManagerConfiguration>& configuration) {
    if (!m_signalCache) {
        return;
    }
    BodyBuilder{m_configuration, m_signalCache, m_pending.get()}(name, parameters, floatValue,
                                                                 customUserID, configuration);
}

void SignalManager::sendNextBatch() {
    if (m_worker) {
        m_worker->attempt();
    }
}

QString SignalManager::defaultUserIdentifier() const {
    return storedUserIdentifier(*m_configuration);
}

void SignalManager::appWillTerminate() {
    log(m_configuration->logHandler(), Level::debug, u"appWillTerminate()"_s);
    if (!m_signalCache) {
        return;
    }
    // The event loop has ended: signals still on their way would never reach the cache, and a
    // batch whose answer is outstanding lives nowhere else.
    m_pending->finish();
    m_worker->reclaimBatchesInFlight();
    m_signalCache->backupToDisk();
}

void SignalManager::handOn(const std::shared_ptr<SignalManageable>& successor) {
    if (!m_signalCache || !successor || successor.get() == this) {
        return;
    }
    {
        QMutexLocker locker(&m_successorMutex);
        m_successor = successor;
    }
    // The successor saves at quit; this one must not write over its file.
    QObject::disconnect(m_terminateConnection);
    m_pending->finish();
    m_worker->reclaimBatchesInFlight();
    const QList<EncodedSignal> queue = m_signalCache->takeAll();
    if (queue.isEmpty()) {
        return;
    }
    log(m_configuration->logHandler(), Level::info,
        u"Handing %1 signals on to the manager that replaces this one"_s.arg(queue.size()));
    successor->adopt(queue);
}

void SignalManager::adopt(const QList<EncodedSignal>& queued) {
    if (m_signalCache) {
        m_signalCache->push(queued);
    }
}

int SignalManager::consecutiveFailures() const {
    return m_worker ? m_worker->consecutiveFailures() : 0;
}

SignalManager::Classification SignalManager::classifyResponse(int httpStatus) {
    if (httpStatus >= 200 && httpStatus <= 299) {
        return {Outcome::success, QString()};
    }
    const char* text = nullptr;
    switch (httpStatus) {
    case 400:
        text = "Bad Request (400)";
        break;
    case 401:
        text = "Unauthorized (401)";
        break;
    case 403:
        text = "Forbidden (403)";
        break;
    case 404:
        text = "Not Found (404)";
        break;
    case 413:
        text = "Payload Too Large (413)";
        break;
    case 422:
        text = "Unprocessable Entity (422)";
        break;
    case 501:
        text = "Not Implemented (501)";
        break;
    case 505:
        text = "HTTP Version Not Supported (505)";
        break;
    default:
        return {Outcome::temporaryFailure, QString()};
    }
    return {Outcome::rejected, QString::fromLatin1(text)};
}

double SignalManager::sendTimerDelay(double transmitInterval, double maxBackoffInterval,
                                     int consecutiveFailures) {
    return std::min(transmitInterval * std::pow(2.0, consecutiveFailures), maxBackoffInterval);
}

} // namespace signalpost
