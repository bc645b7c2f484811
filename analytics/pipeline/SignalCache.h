#pragma once

#include "analytics/base/LogHandler.h"
#include "analytics/pipeline/EncodedSignal.h"
#include "analytics/pipeline/SignalPostBody.h"

#include <QList>
#include <QReadWriteLock>
#include <QString>
#include <optional>

namespace signalpost {

// The bounded queue of bodies waiting to be sent, oldest first, kept across launches in one
// cache file: read and deleted when a cache is built, written when the application ends.
// Safe to use from several threads; every operation takes the lock itself. Bodies wait encoded,
// as the cache file holds them, and are decoded again only when popped.
class SignalCache {
public:
    static constexpr int maximumNumberOfSignalsToPopAtOnce = 100;

    // With no `cacheFilePath` the file is "telemetrysignalcache" in the user's cache folder.
    SignalCache(std::optional<LogHandler> logHandler, int cacheLimit,
                std::optional<QString> cacheFilePath = std::nullopt);
    SignalCache(const SignalCache&) = delete;
    SignalCache& operator=(const SignalCache&) = delete;

    int count() const;
    // The pushes drop the oldest bodies beyond the limit, never the ones just pushed. A body
    // JSON cannot hold (a float value that is not finite) could be neither sent nor saved, and
    // is dropped.
    void push(const SignalPostBody& body);
    void push(const QList<SignalPostBody>& bodies);
    // Signals as another cache holds them, appended in their order.
    void push(const QList<EncodedSignal>& encoded);
    // The oldest min(count, 100) bodies.
    QList<SignalPostBody> pop();
    // Every queued signal, oldest first, as it is kept; the queue is left empty.
    QList<EncodedSignal> takeAll();
    // Writes every queued body to the cache file and empties the queue; on failure the queue
    // is kept.
    void backupToDisk();

    // Empty when the cache folder cannot be found.
    QString cacheFilePath() const;
    static QString defaultCacheFilePath();

private:
    void loadFromDisk();
    void append(const QList<EncodedSignal>& encoded);
    void trimToLimit();

    std::optional<LogHandler> m_logHandler;
    QList<EncodedSignal> m_cachedSignals;
    int m_cacheLimit;
    std::optional<QString> m_cacheFilePath;
    mutable QReadWriteLock m_lock;
};

} // namespace signalpost
