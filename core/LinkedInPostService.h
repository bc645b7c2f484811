#pragma once

#include <QUrl>

namespace quillon {

// Publishes a post through the backend.
class LinkedInPostService {
public:
    explicit LinkedInPostService(QUrl apiBaseURL);

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }

private:
    const QUrl m_apiBaseURL;
};

} // namespace quillon
