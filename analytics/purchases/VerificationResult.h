#pragma once

#include "analytics/purchases/StoreTransaction.h"

#include <optional>

namespace signalpost {

// A transaction as the store hands it over: verified, or not to be trusted.
class VerificationResult {
public:
    static VerificationResult verified(StoreTransaction transaction) {
        return VerificationResult(std::move(transaction), true);
    }
    static VerificationResult unverified(StoreTransaction transaction) {
        return VerificationResult(std::move(transaction), false);
    }

    bool isVerified() const { return m_verified; }
    // The transaction, only when verified.
    std::optional<StoreTransaction> verifiedTransaction() const {
        return m_verified ? std::optional<StoreTransaction>(m_transaction) : std::nullopt;
    }
    const StoreTransaction& unsafeTransaction() const { return m_transaction; }

private:
    VerificationResult(StoreTransaction transaction, bool verified)
        : m_transaction(std::move(transaction))
        , m_verified(verified) {}

    StoreTransaction m_transaction;
    bool m_verified;
};

} // namespace signalpost
