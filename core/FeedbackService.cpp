#include "FeedbackService.h"

namespace quillon {

FeedbackService::FeedbackService(QUrl apiBaseURL)
    : m_apiBaseURL(std::move(apiBaseURL))
{
}

} // namespace quillon
