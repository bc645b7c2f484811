#include "core/backend/WebAuthenticationSessionError.h"

namespace quillon {

namespace {

QString describe(WebAuthenticationSessionError::Code code) {
    switch (code) {
    case WebAuthenticationSessionError::Code::canceledLogin:
        return QStringLiteral("The sign-in was cancelled.");
    case WebAuthenticationSessionError::Code::webContentTerminated:
        return QStringLiteral("The sign-in page stopped unexpectedly.");
    }
    return QStringLiteral("The sign-in failed.");
}

} // namespace

WebAuthenticationSessionError::WebAuthenticationSessionError(Code code)
    : ServiceError(describe(code))
    , m_code(code) {}

} // namespace quillon
