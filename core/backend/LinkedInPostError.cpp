#include "core/backend/LinkedInPostError.h"

namespace quillon {

LinkedInPostError::LinkedInPostError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

LinkedInPostError LinkedInPostError::server(QString message) {
    return {Kind::server, std::move(message)};
}

LinkedInPostError LinkedInPostError::emptyPost() {
    return {Kind::emptyPost, QStringLiteral("Post is empty.")};
}

LinkedInPostError LinkedInPostError::missingAuth() {
    return {Kind::missingAuth, QStringLiteral("Connect LinkedIn first.")};
}

} // namespace quillon
