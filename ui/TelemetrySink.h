#pragma once

#include "AppTelemetryEvent.h"

#include <functional>

namespace quillon {

// Where a screen hands its app events. The window passes sendTelemetryEvent, which sends
// nothing while analytics are off.
using TelemetrySink = std::function<void(AppTelemetryEvent)>;

} // namespace quillon
