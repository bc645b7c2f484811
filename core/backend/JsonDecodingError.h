#pragma once

#include "core/backend/ServiceError.h"

namespace quillon {

// An answer of the backend that does not decode as the record it should be; the description
// is the strict decoder's, naming the first problem met.
class JsonDecodingError : public ServiceError {
public:
    using ServiceError::ServiceError;
};

} // namespace quillon
