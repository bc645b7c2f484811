#pragma once

#include "analytics/purchases/TransactionUpdates.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QThreadPool>
#include <memory>
#include <optional>

namespace signalpost {

// Follows a started free trial through the store's transaction updates and sends
// "Signalpost.Purchase.convertedFromTrial" once when it turns into a paid subscription. The
// trial is kept as "lastTrial" in the analytics defaults suite, so a later run resumes it.
class TrialConversionTracker {
public:
    struct StoredTrial {
        QString productID;
        quint64 originalTransactionID = 0;
        friend bool operator==(const StoredTrial&, const StoredTrial&) = default;
    };

    // Built on first use, following the store's shared updates; it resumes a recorded trial
    // then. Never destroyed: its observation may still be waiting when the process exits.
    static TrialConversionTracker& shared();

    explicit TrialConversionTracker(TransactionUpdates& updates);
    ~TrialConversionTracker();
    TrialConversionTracker(const TrialConversionTracker&) = delete;
    TrialConversionTracker& operator=(const TrialConversionTracker&) = delete;

    // Returns at once; the trial is stored, or with either part missing removed, in order
    // on the persistence queue.
    void recordTrial(const std::optional<QString>& productID,
                     const std::optional<quint64>& originalTransactionID);
    // With none, or when encoding fails, removes "lastTrial". No suite: nothing happens.
    static void saveTrial(const std::optional<StoredTrial>& trial);
    // None when there is no suite, no value, or no value that decodes.
    static std::optional<StoredTrial> loadTrial();
    // Ends the running observation, if any, and starts a new one.
    void startObservingTransactions();
    // Handles one update as the observation does.
    void handleTransactionUpdate(const VerificationResult& update);

    bool isObserving() const;
    // Blocks until every write asked for so far has reached the suite.
    void waitForPersistence();

    // The JSON object {"productID": text, "originalTransactionID": integer}; the identifier is
    // written and read as its exact digits, never through a double.
    static QByteArray encodeTrial(const StoredTrial& trial);
    static std::optional<StoredTrial> decodeTrial(const QByteArray& data);

    static bool isInFreeTrial(const StoreTransaction& transaction);

private:
    void persist(std::optional<StoredTrial> trial);
    // Ends the observation reading `stream`, when that one is still the running one.
    void stopObserving(const std::shared_ptr<TransactionUpdates::Stream>& stream);
    void handleTransactionUpdate(const VerificationResult& update,
                                 const std::shared_ptr<TransactionUpdates::Stream>& stream);

    TransactionUpdates& m_updates;
    // Serial: one thread, writes in the order asked for.
    QThreadPool m_persistenceQueue;
    QThreadPool m_observations;
    mutable QMutex m_taskMutex;
    QMutex m_handlingMutex;
    // The running observation's stream; cancelling it ends the observation.
    std::shared_ptr<TransactionUpdates::Stream> m_transactionUpdateTask;
};

} // namespace signalpost
