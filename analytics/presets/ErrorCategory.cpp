#include "analytics/presets/ErrorCategory.h"

using namespace Qt::StringLiterals;

namespace signalpost {

QString rawValue(ErrorCategory category) {
    switch (category) {
    case ErrorCategory::thrownException:
        return u"thrown-exception"_s;
    case ErrorCategory::userInput:
        return u"user-input"_s;
    case ErrorCategory::appState:
        return u"app-state"_s;
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
