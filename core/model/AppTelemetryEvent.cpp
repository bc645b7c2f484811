#include "core/model/AppTelemetryEvent.h"

#include <array>
#include <utility>

namespace quillon {
namespace {

constexpr std::array<std::pair<AppTelemetryEvent, const char16_t*>, 12> rawValues{{
    {AppTelemetryEvent::appOpened, u"app_opened"},
    {AppTelemetryEvent::insightOpened, u"insight_opened"},
    {AppTelemetryEvent::editorStarted, u"editor_started"},
    {AppTelemetryEvent::draftSaved, u"draft_saved"},
    {AppTelemetryEvent::linkedInConnectStarted, u"linkedin_connect_started"},
    {AppTelemetryEvent::linkedInConnected, u"linkedin_connected"},
    {AppTelemetryEvent::accountDeleted, u"account_deleted"},
    {AppTelemetryEvent::postStarted, u"post_started"},
    {AppTelemetryEvent::postSucceeded, u"post_succeeded"},
    {AppTelemetryEvent::postFailed, u"post_failed"},
    {AppTelemetryEvent::feedbackOpened, u"feedback_opened"},
    {AppTelemetryEvent::feedbackSent, u"feedback_sent"},
}};

} // namespace

QString rawValue(AppTelemetryEvent event) {
    for (const auto& [candidate, raw] : rawValues) {
        if (candidate == event) {
            return QString::fromUtf16(raw);
        }
    }
    return {};
}

std::optional<AppTelemetryEvent> appTelemetryEventFromRawValue(QStringView raw) {
    for (const auto& [event, text] : rawValues) {
        if (raw == QStringView(text)) {
            return event;
        }
    }
    return std::nullopt;
}

} // namespace quillon
