#include "analytics/purchases/TransactionUpdates.h"

namespace signalpost {

std::optional<VerificationResult> TransactionUpdates::Stream::next() {
    std::unique_lock locker(m_mutex);
    m_changed.wait(locker, [this] { return m_cancelled || !m_pending.empty() || m_ended; });
    if (m_cancelled || m_pending.empty()) {
        return std::nullopt;
    }
    VerificationResult update = std::move(m_pending.front());
    m_pending.pop_front();
    return update;
}

void TransactionUpdates::Stream::cancel() {
    std::lock_guard locker(m_mutex);
    m_cancelled = true;
    m_pending.clear();
    m_changed.notify_all();
}

bool TransactionUpdates::Stream::isCancelled() const {
    std::lock_guard locker(m_mutex);
    return m_cancelled;
}

void TransactionUpdates::Stream::push(const VerificationResult& update) {
    std::lock_guard locker(m_mutex);
    if (m_cancelled || m_ended) {
        return;
    }
    m_pending.push_back(update);
    m_changed.notify_all();
}

void TransactionUpdates::Stream::end() {
    std::lock_guard locker(m_mutex);
    m_ended = true;
    m_changed.notify_all();
}

TransactionUpdates& TransactionUpdates::shared() {
    // Never destroyed: followers may still be waiting on it while the process exits.
    static TransactionUpdates* const instance = new TransactionUpdates();
    return *instance;
}

std::shared_ptr<TransactionUpdates::Stream> TransactionUpdates::follow() {
    auto stream = std::make_shared<Stream>();
    QMutexLocker locker(&m_mutex);
    m_streams.removeIf([](const std::weak_ptr<Stream>& weak) { return weak.expired(); });
    m_streams.append(stream);
    return stream;
}

void TransactionUpdates::feed(const VerificationResult& update) {
    QMutexLocker locker(&m_mutex);
    for (const std::weak_ptr<Stream>& weak : std::as_const(m_streams)) {
        if (const auto stream = weak.lock()) {
            stream->push(update);
        }
    }
}

void TransactionUpdates::finish() {
    QMutexLocker locker(&m_mutex);
    for (const std::weak_ptr<Stream>& weak : std::as_const(m_streams)) {
        if (const auto stream = weak.lock()) {
            stream->end();
        }
    }
    m_streams.clear();
}

} // namespace signalpost
