#pragma once

#include "core/backend/ServiceError.h"

namespace quillon {

// The post client's own failures, each with the text the editor shows.
class LinkedInPostError : public ServiceError {
public:
    enum class Kind { server, emptyPost, missingAuth };

    // The carried text is the description, unchanged.
    static LinkedInPostError server(QString message);
    // "Post is empty."
    static LinkedInPostError emptyPost();
    // "Connect LinkedIn first."
    static LinkedInPostError missingAuth();

    Kind kind() const { return m_kind; }

private:
    LinkedInPostError(Kind kind, QString description);

    Kind m_kind;
};

} // namespace quillon
