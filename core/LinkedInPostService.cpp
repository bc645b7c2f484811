#include "LinkedInPostService.h"

namespace quillon {

LinkedInPostService::LinkedInPostService(QUrl apiBaseURL)
    : m_apiBaseURL(std::move(apiBaseURL))
{
}

} // namespace quillon
