#include "analytics/purchases/TransactionUpdates.h"

namespace signalpost {

std::optional<VerificationResult> TransactionUpdates::Stream::next() {
    QMutexLocker locker(&m_mutex);
    while (!m_cancelled && m_pending.empty() && !m_ended) {
        m_changed.wait(&m_mutex);
    }
    if (m_cancelled || m_pending.empty()) {
        return std::nullopt;
    }
    VerificationResult update = std::move(m_pending.front());
    m_pending.pop_front();
    return update;
}

void TransactionUpdates::Stream::cancel() {
    QMutexLocker locker(&m_mutex);
    m_cancelled = true;
    m_pending.clear();
    m_changed.wakeAll();
}

bool TransactionUpdates::Stream::isCancelled() const {
    QMutexLocker locker(&m_mutex);
    return m_cancelled;
}

void TransactionUpdates::Stream::push(const VerificationResult& update) {
    QMutexLocker locker(&m_mutex);
    if (m_cancelled || m_ended) {
        return;
    }
    m_pending.push_back(update);
    m_changed.wakeAll();
}

void TransactionUpdates::Stream::end() {
    QMutexLocker locker(&m_mutex);
    m_ended = true;
    m_changed.wakeAll();
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
