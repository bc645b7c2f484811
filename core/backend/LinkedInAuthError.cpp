#include "core/backend/LinkedInAuthError.h"

using namespace Qt::StringLiterals;

namespace quillon {

LinkedInAuthError::LinkedInAuthError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

LinkedInAuthError LinkedInAuthError::server(QString message) {
    return {Kind::server, std::move(message)};
}

LinkedInAuthError LinkedInAuthError::invalidStartURL() {
    return {Kind::invalidStartURL, u"LinkedIn authorization URL is invalid."_s};
}

LinkedInAuthError LinkedInAuthError::missingWindow() {
    return {Kind::missingWindow, u"Cannot open LinkedIn authorization."_s};
}

LinkedInAuthError LinkedInAuthError::cancelled() {
    return {Kind::cancelled, u"LinkedIn authorization was cancelled."_s};
}

LinkedInAuthError LinkedInAuthError::timedOut() {
    return {Kind::timedOut, u"LinkedIn authorization timed out."_s};
}

} // namespace quillon
