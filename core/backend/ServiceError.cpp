#include "core/backend/ServiceError.h"

namespace quillon {

ServiceError::ServiceError(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8()) {}

} // namespace quillon
