#include "core/app/AppTelemetry.h"

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "core/model/UnicodeText.h"

#include <QUuid>
#include <atomic>
#include <memory>

namespace quillon {
namespace {
std::atomic<bool> telemetryConfigured{false};
} // namespace

bool isTelemetryConfigured() {
    return telemetryConfigured.load(std::memory_order_acquire);
}

void configureAnalytics(const AppConfiguration::Observability& observability) {
    const QString appID = unicode::trimmedWhitespaceAndNewlines(observability.signalpostAppID);
    if (appID.isEmpty()) {
        return;
    }
    const QString trimmedNamespace =
        unicode::trimmedWhitespaceAndNewlines(observability.signalpostNamespace);
    auto configuration = std::make_shared<signalpost::TelemetryManagerConfiguration>(
        appID, std::nullopt, std::nullopt,
        trimmedNamespace.isEmpty() ? std::nullopt : std::optional<QString>(trimmedNamespace));
    // A new identity on every launch; nothing ties two launches together.
    configuration->setDefaultUser(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    configuration->setSendNewSessionBeganSignal(false);
    configuration->setSessionStatsEnabled(false);
    signalpost::Signalpost::initialize(std::move(configuration));
    telemetryConfigured.store(true, std::memory_order_release);
}

void sendTelemetryEvent(AppTelemetryEvent event) {
    if (!isTelemetryConfigured()) {
        return;
    }
    signalpost::Signalpost::signal(rawValue(event), {}, std::nullopt, std::nullopt);
}

} // namespace quillon
