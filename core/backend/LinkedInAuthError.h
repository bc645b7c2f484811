#pragma once

#include "core/backend/ServiceError.h"

namespace quillon {

// The connection client's own failures, each with the text the account screens show.
class LinkedInAuthError : public ServiceError {
public:
    enum class Kind { server, invalidStartURL, missingWindow, cancelled, timedOut };

    // The carried text is the description, unchanged.
    static LinkedInAuthError server(QString message);
    // "LinkedIn authorization URL is invalid."
    static LinkedInAuthError invalidStartURL();
    // "Cannot open LinkedIn authorization."
    static LinkedInAuthError missingWindow();
    // "LinkedIn authorization was cancelled."
    static LinkedInAuthError cancelled();
    // "LinkedIn authorization timed out."
    static LinkedInAuthError timedOut();

    Kind kind() const { return m_kind; }

private:
    LinkedInAuthError(Kind kind, QString description);

    Kind m_kind;
};

} // namespace quillon
