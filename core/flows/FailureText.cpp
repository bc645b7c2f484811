#include "core/flows/FailureText.h"

#include "core/backend/ServiceError.h"

namespace quillon {

QString failureText(const std::exception& error) {
    if (const auto* service = dynamic_cast<const ServiceError*>(&error)) {
        return service->description();
    }
    return QString::fromUtf8(error.what());
}

} // namespace quillon
