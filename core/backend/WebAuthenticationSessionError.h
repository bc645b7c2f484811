#pragma once

#include "core/backend/ServiceError.h"

namespace quillon {

// How a sign-in sheet can end other than with a callback URL. The connection client turns
// `canceledLogin` and `missingWindow` into its own errors and passes every other one on
// unchanged. Descriptions are for the user: no program, path or exit status.
class WebAuthenticationSessionError : public ServiceError {
public:
    enum class Code {
        // The person closed the sheet.
        canceledLogin = 1,
        // The page's renderer stopped before the sign-in ended.
        webContentTerminated = 2,
        // The sheet could not be opened, or went away without an answer; `detail` says why.
        sheetFailed = 3,
        // The sheet found no display to show itself on.
        missingWindow = 4,
    };

    explicit WebAuthenticationSessionError(Code code, const QString& detail = {});

    Code code() const { return m_code; }

private:
    Code m_code;
};

} // namespace quillon
