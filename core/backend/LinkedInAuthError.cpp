#include "core/backend/LinkedInAuthError.h"

namespace quillon {

LinkedInAuthError::LinkedInAuthError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

LinkedInAuthError LinkedInAuthError::server(QString message) {
    return {Kind::server, std::move(message)};
}

LinkedInAuthError LinkedInAuthError::invalidStartURL() {
    return {Kind::invalidStartURL, QStringLiteral("LinkedIn authorization URL is invalid.")};
}

LinkedInAuthError LinkedInAuthError::missingWindow() {
    return {Kind::missingWindow, QStringLiteral("Cannot open LinkedIn authorization.")};
}

LinkedInAuthError LinkedInAuthError::cancelled() {
    return {Kind::cancelled, QStringLiteral("LinkedIn authorization was cancelled.")};
}

LinkedInAuthError LinkedInAuthError::timedOut() {
    return {Kind::timedOut, QStringLiteral("LinkedIn authorization timed out.")};
}

} // namespace quillon
