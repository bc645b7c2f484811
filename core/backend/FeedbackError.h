#pragma once

#include "core/backend/ServiceError.h"

namespace quillon {

// The feedback client's own failures, each with the text the feedback form shows.
class FeedbackError : public ServiceError {
public:
    enum class Kind { server, emptyMessage };

    // The carried text is the description, unchanged.
    static FeedbackError server(QString message);
    // "Feedback message is empty."
    static FeedbackError emptyMessage();

    Kind kind() const { return m_kind; }

private:
    FeedbackError(Kind kind, QString description);

    Kind m_kind;
};

} // namespace quillon
