#pragma once

#include "core/backend/ServiceError.h"

#include <QNetworkReply>

namespace quillon {

// A failure of the HTTP client itself (no connection, timeout, a broken transfer), passed on
// with the client's own description; an answer with any HTTP status is not one of these.
class NetworkError : public ServiceError {
public:
    NetworkError(QNetworkReply::NetworkError code, QString description);

    QNetworkReply::NetworkError code() const { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};

} // namespace quillon
