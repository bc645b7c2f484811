#include "ui/insights/InsightsView.h"

#include "ui/kit/ContentButton.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
InsightsView::InsightsView(QList<Insight> insights, TelemetrySink telemetry, QWidget* parent)
    : QWidget(parent)
    , m_insights(std::move(insights))
    , m_telemetry(std::move(telemetry)) {
    auto* pane = new ScrollPane(16, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane);

    pane->column()->addWidget(textLabel(tr("Public LinkedIn signals"),
                                        quillon::font(TextStyle::caption), Theme::secondaryInk()));
    auto* heading = textLabel(tr("People turn their lived work into visible opportunity."),
                              quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink());
    heading->setWordWrap(true);
    pane->column()->addWidget(heading);
    for (const Insight& insight : m_insights) {
        pane->column()->addWidget(card(insight));
    }
}

QWidget* InsightsView::card(const Insight& insight) {
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                               Metrics::defaultPadding, Metrics::defaultPadding);
    column->setSpacing(6);
    column->addWidget(textLabel(insight.topline, quillon::font(TextStyle::caption, QFont::DemiBold),
                                Theme::accent()));
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(10);
    titleRow->addWidget(textLabel(insight.title, quillon::font(TextStyle::headline), Theme::ink()),
                        0, Qt::AlignBaseline);
    titleRow->addStretch(1);
    column->addLayout(titleRow);
    auto* summary =
        textLabel(insight.summary, quillon::font(TextStyle::subheadline), Theme::secondaryInk());
    summary->setWordWrap(true);
    summary->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    column->addWidget(summary);

    auto* button = new ContentButton;
    button->setObjectName(u"insightCard"_s);
    button->setContent(content);
    button->setBackground(Theme::card(), Metrics::cornerRadius);
    // Named by the person, the figure and the story read after it; without a description the
    // tooltip's post address would be spoken in its place.
    button->setAccessibleName(insight.title);
    button->setAccessibleDescription(accessibleDescription(insight));
    button->setToolTip(insight.url);
    connect(button, &QAbstractButton::clicked, this, [this, insight] { openInsight(insight); });
    return button;
}

QString InsightsView::accessibleDescription(const Insight& insight) {
    return u"%1. %2"_s.arg(insight.topline, insight.summary);
}

void InsightsView::openInsight(const Insight& insight) {
    const QUrl url(insight.url, QUrl::StrictMode);
    if (insight.url.isEmpty() || !url.isValid()) {
        return;
    }
    // The event counts pages the browser really opened.
    if (QDesktopServices::openUrl(url)) {
        report(m_telemetry, AppTelemetryEvent::insightOpened);
    }
}

} // namespace quillon
