#pragma once

#include <QUrl>

namespace quillon {

// Sends the feedback form through the backend.
class FeedbackService {
public:
    explicit FeedbackService(QUrl apiBaseURL);

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }

private:
    const QUrl m_apiBaseURL;
};

} // namespace quillon
