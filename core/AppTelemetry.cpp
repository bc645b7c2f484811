#include "AppTelemetry.h"

#include "UnicodeText.h"

#include <atomic>

namespace quillon {
namespace {
std::atomic<bool> telemetryConfigured{false};
} // namespace

bool isTelemetryConfigured()
{
    return telemetryConfigured.load(std::memory_order_acquire);
}

void configureAnalytics(const AppConfiguration::Observability& observability)
{
    const QString appID = unicode::trimmedWhitespaceAndNewlines(observability.signalpostAppID);
    if (appID.isEmpty()) {
        return;
    }
    // The analytics client is not part of the build yet; until it is, analytics stay off.
}

void sendTelemetryEvent(AppTelemetryEvent event)
{
    if (!isTelemetryConfigured()) {
        return;
    }
    Q_UNUSED(event);
}

} // namespace quillon
