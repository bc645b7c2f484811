#include "analytics/pipeline/SignalCache.h"

#include "analytics/pipeline/SignalBodyReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

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
    push(QList<SignalPostBody>{body});
}

void SignalCache::push(const QList<SignalPostBody>& bodies) {
    // Encoded before the lock is taken: the builders on the pool do not wait for each other.
    QList<EncodedSignal> encoded;
    encoded.reserve(bodies.size());
    for (const SignalPostBody& body : bodies) {
        if (std::optional<EncodedSignal> signal = EncodedSignal::fromBody(body)) {
            encoded.append(std::move(*signal));
        }
    }
    QWriteLocker locker(&m_lock);
    append(encoded);
}

void SignalCache::push(const QList<EncodedSignal>& encoded) {
    QWriteLocker locker(&m_lock);
    append(encoded);
}

void SignalCache::append(const QList<EncodedSignal>& encoded) {
    for (const EncodedSignal& signal : encoded) {
        m_cachedSignals.append(signal);
        // A payload like the one before is kept once.
        const qsizetype last = m_cachedSignals.size() - 1;
        if (last > 0) {
            const QByteArray& before = m_cachedSignals.at(last - 1).payload;
            if (before.constData() != signal.payload.constData() && before == signal.payload) {
                m_cachedSignals[last].payload = before;
            }
        }
    }
    trimToLimit();
}

QList<SignalPostBody> SignalCache::pop() {
    QList<EncodedSignal> batch;
    {
        QWriteLocker locker(&m_lock);
        const qsizetype n =
            std::min<qsizetype>(m_cachedSignals.size(), maximumNumberOfSignalsToPopAtOnce);
        batch = m_cachedSignals.first(n);
        m_cachedSignals.remove(0, n);
    }
    return EncodedSignal::decode(batch);
}

QList<EncodedSignal> SignalCache::takeAll() {
    QWriteLocker locker(&m_lock);
    return std::exchange(m_cachedSignals, {});
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
    return folder + u"/telemetrysignalcache"_s;
}

QString SignalCache::cacheFilePath() const {
    return m_cacheFilePath ? *m_cacheFilePath : defaultCacheFilePath();
}

void SignalCache::loadFromDisk() {
    const QString path = cacheFilePath();
    if (path.isEmpty()) {
        log(m_logHandler, Level::error, u"Failed to get disk cache url from FileManager."_s);
        return;
    }
    log(m_logHandler, Level::info,
        u"Loading Telemetry cache from: "_s + QUrl::fromLocalFile(path).toString());

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    // Mapped rather than read: a full cache file is tens of megabytes, and the encoded bodies
    // copy what they keep. Safe because the file is only ever replaced by a rename (QSaveFile),
    // never truncated under a reader.
    const auto read = [](QByteArrayView data) {
        return SignalBodyReader(data, SignalPostBody::DateForm::referenceDate).readEncodedArray();
    };
    std::optional<QList<EncodedSignal>> bodies;
    const qint64 size = file.size();
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        bodies = read(QByteArrayView(reinterpret_cast<const char*>(mapped), size));
        file.unmap(mapped);
    } else {
        const QByteArray data = file.readAll();
        if (file.error() == QFileDevice::NoError) {
            bodies = read(data);
        }
    }
    file.close();
    QFile::remove(path);
    if (!bodies) {
        return;
    }
    log(m_logHandler, Level::info, u"Loaded %1 signals"_s.arg(bodies->size()));
    append(*bodies);
}

void SignalCache::backupToDisk() {
    QWriteLocker locker(&m_lock);
    const QByteArray data =
        EncodedSignal::jsonArray(m_cachedSignals.cbegin(), m_cachedSignals.cend());
    const QString path = cacheFilePath();
    bool written = false;
    if (!path.isEmpty()) {
        // Unlike a platform caches folder, ~/.cache/<app> need not exist yet.
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        written =
            file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
    }
    if (!written) {
        log(m_logHandler, Level::error, u"Error saving Telemetry cache"_s);
        return;
    }
    log(m_logHandler, Level::info,
        u"Saved Telemetry cache %1 bytes of %2 signals"_s.arg(data.size())
            .arg(m_cachedSignals.size()));
    m_cachedSignals.clear();
}

} // namespace signalpost
