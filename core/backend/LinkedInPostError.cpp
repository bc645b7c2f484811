#include "core/backend/LinkedInPostError.h"

using namespace Qt::StringLiterals;

namespace quillon {

LinkedInPostError::LinkedInPostError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

LinkedInPostError LinkedInPostError::server(QString message) {
    return {Kind::server, std::move(message)};
}

LinkedInPostError LinkedInPostError::emptyPost() {
    return {Kind::emptyPost, u"Post is empty."_s};
}

LinkedInPostError LinkedInPostError::missingAuth() {
    return {Kind::missingAuth, u"Connect LinkedIn first."_s};
}

} // namespace quillon
