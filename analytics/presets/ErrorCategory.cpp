#include "analytics/presets/ErrorCategory.h"

namespace signalpost {

QString rawValue(ErrorCategory category) {
    switch (category) {
    case ErrorCategory::thrownException:
        return QStringLiteral("thrown-exception");
    case ErrorCategory::userInput:
        return QStringLiteral("user-input");
    case ErrorCategory::appState:
        return QStringLiteral("app-state");
    }
    return QString();
}

std::optional<ErrorCategory> errorCategoryFromRawValue(const QString& text) {
    for (const ErrorCategory category :
         {ErrorCategory::thrownException, ErrorCategory::userInput, ErrorCategory::appState}) {
        if (text == rawValue(category)) {
            return category;
        }
    }
    return std::nullopt;
}

} // namespace signalpost
