#include "core/backend/FeedbackError.h"

namespace quillon {

FeedbackError::FeedbackError(Kind kind, QString description)
    : ServiceError(std::move(description))
    , m_kind(kind) {}

FeedbackError FeedbackError::server(QString message) {
    return {Kind::server, std::move(message)};
}

FeedbackError FeedbackError::emptyMessage() {
    return {Kind::emptyMessage, QStringLiteral("Feedback message is empty.")};
}

} // namespace quillon
