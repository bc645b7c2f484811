#pragma once

#include <QString>
#include <optional>

namespace signalpost {

// What kind of failure an error signal reports; sent as its raw value.
enum class ErrorCategory {
    thrownException,
    userInput,
    appState,
};

// "thrown-exception", "user-input", "app-state".
QString rawValue(ErrorCategory category);
// Exactly one of the three raw texts, same letter case, gives its case.
std::optional<ErrorCategory> errorCategoryFromRawValue(const QString& rawValue);

} // namespace signalpost
