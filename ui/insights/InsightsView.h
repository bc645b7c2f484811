#pragma once

#include "core/app/AppTelemetry.h"
#include "core/model/TelemetrySink.h"
#include "ui/insights/Insight.h"

#include <QWidget>

namespace quillon {

// The Insights pane: a static page of success stories, one card each, opening the person's
// LinkedIn post in the browser.
class InsightsView : public QWidget {
    Q_OBJECT

public:
    explicit InsightsView(QList<Insight> insights, TelemetrySink telemetry = sendTelemetryEvent,
                          QWidget* parent = nullptr);

    const QList<Insight>& insights() const { return m_insights; }
    void openInsight(const Insight& insight);
    // What a screen reader says after the card's name: the figure, then the story.
    static QString accessibleDescription(const Insight& insight);

private:
    QWidget* card(const Insight& insight);

    const QList<Insight> m_insights;
    const TelemetrySink m_telemetry;
};

} // namespace quillon
