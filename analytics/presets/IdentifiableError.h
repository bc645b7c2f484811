#pragma once

#include <QString>

namespace signalpost {

// An error that also carries a stable identifier, so that error signals of the same failure
// group together whatever their message says.
class IdentifiableError {
public:
    virtual ~IdentifiableError() = default;

    virtual QString id() const = 0;
    // The text a person reads; error signals send it as the message.
    virtual QString localizedDescription() const = 0;
};

} // namespace signalpost
