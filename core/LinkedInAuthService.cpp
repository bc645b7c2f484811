#include "LinkedInAuthService.h"

#include "LinkedInTokenStore.h"

namespace quillon {

LinkedInAuthService::LinkedInAuthService(QUrl apiBaseURL, QString callbackURLScheme,
                                         std::shared_ptr<LinkedInTokenStore> tokenStore,
                                         QObject* parent)
    : QObject(parent)
    , m_apiBaseURL(std::move(apiBaseURL))
    , m_callbackURLScheme(std::move(callbackURLScheme))
    , m_tokenStore(std::move(tokenStore))
{
}

LinkedInAuthService::~LinkedInAuthService() = default;

} // namespace quillon
