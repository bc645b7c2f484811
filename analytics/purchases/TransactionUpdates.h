#pragma once

#include "analytics/purchases/VerificationResult.h"

#include <QList>
#include <QMutex>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace signalpost {

// The store's stream of transaction updates. A store integration feeds every update it gets
// (renewals, refunds, expiries); each follower receives, in order, the updates fed after it
// started following. Safe to use from any thread.
class TransactionUpdates {
public:
    // What one follower reads.
    class Stream {
    public:
        // Blocks until the next update; none once the stream has ended or been cancelled.
        std::optional<VerificationResult> next();
        // Ends this stream now; a waiting next() returns none, queued updates are dropped.
        void cancel();
        bool isCancelled() const;

    private:
        friend class TransactionUpdates;
        void push(const VerificationResult& update);
        void end();

        mutable std::mutex m_mutex;
        std::condition_variable m_changed;
        std::deque<VerificationResult> m_pending;
        bool m_ended = false;
        bool m_cancelled = false;
    };

    // The process's stream, as the store has one.
    static TransactionUpdates& shared();

    TransactionUpdates() = default;
    TransactionUpdates(const TransactionUpdates&) = delete;
    TransactionUpdates& operator=(const TransactionUpdates&) = delete;

    std::shared_ptr<Stream> follow();
    void feed(const VerificationResult& update);
    // Ends the stream of every current follower once it has read what was fed before; a
    // follower that starts later gets a stream of its own.
    void finish();

private:
    QMutex m_mutex;
    QList<std::weak_ptr<Stream>> m_streams;
};

} // namespace signalpost
