#include "core/backend/WebAuthenticationSessionError.h"

using namespace Qt::StringLiterals;

namespace quillon {

namespace {

QString describe(WebAuthenticationSessionError::Code code, const QString& detail) {
    switch (code) {
    case WebAuthenticationSessionError::Code::canceledLogin:
        return u"The sign-in was cancelled."_s;
    case WebAuthenticationSessionError::Code::webContentTerminated:
        return u"The sign-in page stopped unexpectedly."_s;
    case WebAuthenticationSessionError::Code::sheetFailed:
        return detail.isEmpty() ? u"The sign-in window failed."_s
                                : u"The sign-in window failed: %1"_s.arg(detail);
    case WebAuthenticationSessionError::Code::missingWindow:
        return u"The sign-in window has no display to open on."_s;
    }
    return u"The sign-in failed."_s;
}

} // namespace

WebAuthenticationSessionError::WebAuthenticationSessionError(Code code, const QString& detail)
    : ServiceError(describe(code, detail))
    , m_code(code) {}

} // namespace quillon
