#include "core/backend/FeedbackError.h"

using namespace Qt::StringLiterals;

namespace quillon {

FeedbackError::FeedbackError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

FeedbackError FeedbackError::server(QString message) {
    return {Kind::server, std::move(message)};
}

FeedbackError FeedbackError::emptyMessage() {
    return {Kind::emptyMessage, u"Feedback message is empty."_s};
}

} // namespace quillon
