#include "analytics/pipeline/SignalCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

namespace signalpost {

using Level = LogHandler::LogLevel;

SignalCache::SignalCache(std::optional<LogHandler> logHandler, int cacheLimit,
                         std::optional<QString> cacheFilePath)
    : m_logHandler(std::move(logHandler))
    , m_cacheLimit(std::max(cacheLimit, 0))
    , m_cacheFilePath(std::move(cacheFilePath)) {
    QWriteLocker locker(&m_lock);
    loadFromDisk();
}

int SignalCache::count() const {
    QReadLocker locker(&m_lock);
    return static_cast<int>(m_cachedSignals.size());
}

void SignalCache::push(const SignalPostBody& body) {
    QWriteLocker locker(&m_lock);
    m_cachedSignals.append(body);
    trimToLimit();
}

void SignalCache::push(const QList<SignalPostBody>& bodies) {
    QWriteLocker locker(&m_lock);
    m_cachedSignals.append(bodies);
    trimToLimit();
}

QList<SignalPostBody> SignalCache::pop() {
    QWriteLocker locker(&m_lock);
    const qsizetype n =
        std::min<qsizetype>(m_cachedSignals.size(), maximumNumberOfSignalsToPopAtOnce);
    QList<SignalPostBody> batch(m_cachedSignals.cbegin(), m_cachedSignals.cbegin() + n);
    m_cachedSignals.remove(0, n);
    return batch;
}

void SignalCache::trimToLimit() {
    const qsizetype surplus = m_cachedSignals.size() - m_cacheLimit;
    if (surplus > 0) {
        m_cachedSignals.remove(0, surplus);
    }
}

QString SignalCache::defaultCacheFilePath() {
    // The per-application cache folder (~/.cache/<app>), like a sandboxed app's own caches.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty()) {
        return QString();
    }
    return folder + QStringLiteral("/telemetrysignalcache");
}

QString SignalCache::cacheFilePath() const {
    return m_cacheFilePath ? *m_cacheFilePath : defaultCacheFilePath();
}

void SignalCache::loadFromDisk() {
    const QString path = cacheFilePath();
    if (path.isEmpty()) {
        log(m_logHandler, Level::error,
            QStringLiteral("Failed to get disk cache url from FileManager."));
        return;
    }
    log(m_logHandler, Level::info,
        QStringLiteral("Loading Telemetry cache from: ") + QUrl::fromLocalFile(path).toString());

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    // Mapped rather than read: a full cache file is tens of megabytes, and the decoded bodies
    // copy what they keep. Safe because the file is only ever replaced by a rename (QSaveFile),
    // never truncated under a reader.
    std::optional<QList<SignalPostBody>> bodies;
    const qint64 size = file.size();
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        bodies =
            SignalPostBody::decodeArray(QByteArrayView(reinterpret_cast<const char*>(mapped), size),
                                        SignalPostBody::DateForm::referenceDate);
        file.unmap(mapped);
    } else {
        const QByteArray data = file.readAll();
        if (file.error() == QFileDevice::NoError) {
            bodies = SignalPostBody::decodeArray(data, SignalPostBody::DateForm::referenceDate);
        }
    }
    file.close();
    QFile::remove(path);
    if (!bodies) {
        return;
    }
    log(m_logHandler, Level::info, QStringLiteral("Loaded %1 signals").arg(bodies->size()));
    m_cachedSignals.append(std::move(*bodies));
    trimToLimit();
}

void SignalCache::backupToDisk() {
    QWriteLocker locker(&m_lock);
    const auto data =
        SignalPostBody::encodeArray(m_cachedSignals, SignalPostBody::DateForm::referenceDate);
    if (!data) {
        return;
    }
    const QString path = cacheFilePath();
    bool written = false;
    if (!path.isEmpty()) {
        // Unlike a platform caches folder, ~/.cache/<app> need not exist yet.
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        written =
            file.open(QIODevice::WriteOnly) && file.write(*data) == data->size() && file.commit();
    }
    if (!written) {
        log(m_logHandler, Level::error, QStringLiteral("Error saving Telemetry cache"));
        return;
    }
    log(m_logHandler, Level::info,
        QStringLiteral("Saved Telemetry cache %1 bytes of %2 signals")
            .arg(data->size())
            .arg(m_cachedSignals.size()));
    m_cachedSignals.clear();
}

} // namespace signalpost
