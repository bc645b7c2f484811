#include "core/backend/WebAuthenticationSession.h"

namespace quillon {

WebAuthenticationSession::WebAuthenticationSession(QUrl url, QString callbackURLScheme,
                                                   CompletionHandler completion)
    : m_url(std::move(url))
    , m_callbackURLScheme(std::move(callbackURLScheme))
    , m_completion(std::move(completion)) {}

WebAuthenticationSession::~WebAuthenticationSession() = default;

void WebAuthenticationSession::complete(std::optional<QUrl> callbackURL,
                                        std::optional<WebAuthenticationSessionError> error) {
    if (!m_completion) {
        return;
    }
    // Taken out first: the handler may resume a coroutine that drops this very session.
    CompletionHandler completion = std::move(m_completion);
    m_completion = nullptr;
    completion(std::move(callbackURL), std::move(error));
}

} // namespace quillon
