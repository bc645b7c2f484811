#pragma once

#include "analytics/presets/IdentifiableError.h"

#include <QString>
#include <exception>
#include <optional>

namespace signalpost {

// Gives any error an identifier for the error signals; the wrapped error is kept unchanged.
class AnyIdentifiableError : public IdentifiableError {
public:
    AnyIdentifiableError(QString id, std::exception_ptr error);

    QString id() const override { return m_id; }
    const std::exception_ptr& error() const { return m_error; }
    // The wrapped error's own description: an IdentifiableError's, else a standard
    // exception's what(), else a generic text.
    QString localizedDescription() const override;
    // None: the description comes from the wrapped error alone.
    std::optional<QString> errorDescription() const { return std::nullopt; }

private:
    QString m_id;
    std::exception_ptr m_error;
};

} // namespace signalpost
