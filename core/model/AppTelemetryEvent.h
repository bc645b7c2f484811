#pragma once

#include <QString>
#include <optional>

namespace quillon {

// The application's analytics events; each is sent as a signal named by its raw value.
enum class AppTelemetryEvent {
    appOpened,
    insightOpened,
    editorStarted,
    draftSaved,
    linkedInConnectStarted,
    linkedInConnected,
    accountDeleted,
    postStarted,
    postSucceeded,
    postFailed,
    feedbackOpened,
    feedbackSent,
};

QString rawValue(AppTelemetryEvent event);
// None for a text that names no event.
std::optional<AppTelemetryEvent> appTelemetryEventFromRawValue(QStringView raw);

} // namespace quillon
