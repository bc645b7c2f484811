#include "core/backend/NetworkError.h"

namespace quillon {

NetworkError::NetworkError(QNetworkReply::NetworkError code, QString description)
    : ServiceError(std::move(description))
    , m_code(code) {}

} // namespace quillon
