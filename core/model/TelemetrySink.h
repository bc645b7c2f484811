#pragma once

#include "core/model/AppTelemetryEvent.h"

#include <functional>

namespace quillon {

// Where a store or a screen hands its app events. The app passes sendTelemetryEvent, which
// sends nothing while analytics are off.
using TelemetrySink = std::function<void(AppTelemetryEvent)>;

// Hands `event` to `sink`; an empty sink (a test's) takes nothing.
inline void report(const TelemetrySink& sink, AppTelemetryEvent event) {
    if (sink) {
        sink(event);
    }
}

} // namespace quillon
