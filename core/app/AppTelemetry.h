#pragma once

#include "core/app/AppConfiguration.h"
#include "core/model/AppTelemetryEvent.h"

namespace quillon {

// The process-wide analytics-ready flag: false at launch, set once by configureAnalytics when
// the analytics client was initialised. Every sender of an application event tests it.
bool isTelemetryConfigured();

// Starts the analytics client when the configured app ID, trimmed, is not empty.
void configureAnalytics(const AppConfiguration::Observability& observability);

// Sends `event` as a signal named by its raw value, with no parameters, float value or
// custom user; does nothing while analytics are not configured.
void sendTelemetryEvent(AppTelemetryEvent event);

} // namespace quillon
