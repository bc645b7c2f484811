#include "core/backend/WebAuthenticationSessionError.h"

namespace quillon {

namespace {

QString describe(WebAuthenticationSessionError::Code code, const QString& detail) {
    switch (code) {
    case WebAuthenticationSessionError::Code::canceledLogin:
        return QStringLiteral("The sign-in was cancelled.");
    case WebAuthenticationSessionError::Code::webContentTerminated:
        return QStringLiteral("The sign-in page stopped unexpectedly.");
    case WebAuthenticationSessionError::Code::sheetFailed:
        return detail.isEmpty() ? QStringLiteral("The sign-in window failed.")
                                : QStringLiteral("The sign-in window failed: %1").arg(detail);
    case WebAuthenticationSessionError::Code::missingWindow:
        return QStringLiteral("The sign-in window has no display to open on.");
    }
    return QStringLiteral("The sign-in failed.");
}

} // namespace

WebAuthenticationSessionError::WebAuthenticationSessionError(Code code, const QString& detail)
    : ServiceError(describe(code, detail))
    , m_code(code) {}

} // namespace quillon
