#include "ui/kit/EmptyStateView.h"

#include "ui/kit/TextLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quillon {
namespace {
constexpr int symbolSize = 44;
} // namespace

EmptyStateView::EmptyStateView(Symbol symbol, const QString& title, const QString& description,
                               QWidget* parent)
    : QWidget(parent)
    , m_title(textLabel(title, quillon::font(TextStyle::title3, QFont::Bold), Theme::ink()))
    , m_description(textLabel(description, quillon::font(TextStyle::body), Theme::secondaryInk())) {
    auto* image = new QLabel(this);
    image->setPixmap(symbolPixmap(symbol, Theme::secondaryInk(), symbolSize, devicePixelRatioF()));
    image->setAlignment(Qt::AlignCenter);

    m_title->setAlignment(Qt::AlignCenter);

    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 40, 0, 40);
    layout->setSpacing(8);
    layout->addWidget(image);
    layout->addSpacing(4);
    layout->addWidget(m_title);
    layout->addWidget(m_description);
}

QString EmptyStateView::title() const {
    return m_title->text();
}

QString EmptyStateView::description() const {
    return m_description->text();
}

} // namespace quillon
