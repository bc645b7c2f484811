// Figures of the analytics client's hot paths: the cost of Signalpost::signal on the caller's
// thread, building and queueing 10,000 signals, loading a 10,000-body cache file, and the heap
// held by 10,000 queued bodies against their size on the wire. Goals: under 20 us per call,
// 10,000 signals within 1 s, the cache file within 100 ms, at most twice the wire size per
// queued body.

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/client/TelemetryManager.h"
#include "analytics/pipeline/SignalCache.h"
#include "analytics/pipeline/SignalManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace signalpost;

namespace {

constexpr int signalCount = 10000;

enum class Payload { none, fullIdentical, fullDistinct };

// 60 more entries on top of the default payload, merged where enrichers are: while
// the body is built on the thread pool. Distinct payloads differ in one counter.
class FullPayload : public SignalEnricher {
public:
    explicit FullPayload(bool distinct)
        : m_distinct(distinct) {
        for (int i = 0; i < 60; ++i) {
            m_entries.insert(u"Signalpost.Bench.parameter%1"_s.arg(i), u"value number %1"_s.arg(i));
        }
    }

    QMap<QString, QString> enrich(const QString&, const std::optional<QString>&,
                                  std::optional<double>) const override {
        if (!m_distinct) {
            return m_entries;
        }
        QMap<QString, QString> entries = m_entries;
        entries.insert(u"Signalpost.Bench.sequence"_s, QString::number(++m_counter));
        return entries;
    }

private:
    bool m_distinct;
    QMap<QString, QString> m_entries;
    mutable std::atomic<int> m_counter{0};
};

std::shared_ptr<TelemetryManagerConfiguration> configuration(Payload payload) {
    // Nothing is sent: the first attempt finds the cache empty and the next is an hour away.
    auto c = std::make_shared<TelemetryManagerConfiguration>(u"bench-app"_s, u"salt"_s,
                                                             QUrl("http://127.0.0.1:9/"));
    c->setTransmitInterval(3600);
    c->setLogHandler(std::nullopt);
    c->setDefaultUser(u"bench-user"_s);
    c->setSendNewSessionBeganSignal(false);
    c->setSessionStatsEnabled(false);
    if (payload != Payload::none) {
        c->setMetadataEnrichers({std::make_shared<FullPayload>(payload == Payload::fullDistinct)});
    }
    return c;
}

size_t heapInUse() {
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// Returns the heap held per queued signal, in bytes.
double runSignals(const char* label, Payload payload) {
    QFile::remove(SignalCache::defaultCacheFilePath());
    const size_t heapBefore = heapInUse();
    Signalpost::initialize(configuration(payload));
    const QMap<QString, QString> parameters{{u"screen"_s, u"editor"_s}};

    std::vector<qint64> nanos;
    nanos.reserve(signalCount);
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < signalCount; ++i) {
        QElapsedTimer one;
        one.start();
        Signalpost::signal(u"draft_saved"_s, parameters);
        nanos.push_back(one.nsecsElapsed());
    }
    const qint64 callerNanos = total.nsecsElapsed();
    // The main-thread hop, then the body builders on the thread pool.
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    const qint64 queuedNanos = total.nsecsElapsed();
    const size_t heapQueued = heapInUse() - heapBefore;

    std::sort(nanos.begin(), nanos.end());
    std::printf("%s\n", label);
    std::printf("  Signalpost::signal on the caller thread: mean %.2f us, median %.2f us, "
                "p99 %.2f us (goal < 20 us)\n",
                static_cast<double>(callerNanos) / signalCount / 1000.0,
                nanos[nanos.size() / 2] / 1000.0, nanos[nanos.size() * 99 / 100] / 1000.0);
    std::printf("  %d signals built and queued: %.1f ms (goal < 1000 ms)\n", signalCount,
                queuedNanos / 1e6);
    std::printf("  heap held by the client with those %d bodies queued: %.2f MiB\n", signalCount,
                heapQueued / 1048576.0);

    // Saving writes exactly the cache file the load figure reads.
    auto manager = TelemetryManager::current();
    static_cast<SignalManager*>(manager->signalManager().get())->appWillTerminate();
    manager.reset();
    Signalpost::terminate();
    return static_cast<double>(heapQueued) / signalCount;
}

void runCacheLoad(double heapPerQueuedSignal) {
    const QString path = SignalCache::defaultCacheFilePath();
    const QString copy = path + u".bench"_s;
    const qint64 bytes = QFileInfo(path).size();

    // Each load reads and deletes its own copy of the file; the last one is kept for the heap.
    constexpr int loads = 5;
    std::vector<qint64> loadNanos;
    std::unique_ptr<SignalCache> cache;
    size_t before = 0;
    size_t after = 0;
    for (int i = 0; i < loads; ++i) {
        cache.reset();
        QFile::remove(copy);
        QFile::copy(path, copy);
        before = heapInUse();
        QElapsedTimer timer;
        timer.start();
        cache = std::make_unique<SignalCache>(std::nullopt, 10000, copy);
        loadNanos.push_back(timer.nsecsElapsed());
        after = heapInUse();
    }
    std::sort(loadNanos.begin(), loadNanos.end());

    std::printf("  their cache file of %d bodies (%lld bytes) loaded: %.1f ms, median of %d "
                "(%.1f to %.1f) (goal < 100 ms)\n",
                cache->count(), static_cast<long long>(bytes), loadNanos[loads / 2] / 1e6, loads,
                loadNanos.front() / 1e6, loadNanos.back() / 1e6);
    const double heapPerLoadedBody =
        static_cast<double>(after - before) / std::max(cache->count(), 1);
    std::printf("  heap held by those %d queued bodies: %.2f MiB (%.0f bytes per body)\n",
                cache->count(), (after - before) / 1048576.0, heapPerLoadedBody);
    const QList<SignalPostBody> batch = cache->pop();
    const double wire =
        static_cast<double>(SignalPostBody::encodeArray(batch, SignalPostBody::DateForm::wire)
                                .value_or("")
                                .size()) /
        std::max<qsizetype>(batch.size(), 1);
    std::printf("  heap per body against its %.0f bytes on the wire: queued %.2fx, loaded %.2fx "
                "(goal at most 2x)\n",
                wire, heapPerQueuedSignal / wire, heapPerLoadedBody / wire);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDir().mkpath(QFileInfo(SignalCache::defaultCacheFilePath()).absolutePath());

    runCacheLoad(runSignals("Signals with one parameter and the default payload:", Payload::none));
    runCacheLoad(runSignals("Signals with a full-size payload of 60 entries, all alike:",
                            Payload::fullIdentical));
    runCacheLoad(runSignals("Signals with a full-size payload of 61 entries, each different:",
                            Payload::fullDistinct));
    return 0;
}
