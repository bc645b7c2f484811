#include "EmptyStateView.h"

#include "Theme.h"
#include "Typography.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quillon {
namespace {
constexpr int symbolSize = 44;

void colour(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}
} // namespace

EmptyStateView::EmptyStateView(Symbol symbol, const QString& title, const QString& description,
                               QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_description(new QLabel(description, this)) {
    auto* image = new QLabel(this);
    image->setPixmap(symbolPixmap(symbol, Theme::secondaryInk(), symbolSize, devicePixelRatioF()));
    image->setAlignment(Qt::AlignCenter);

    m_title->setFont(quillon::font(TextStyle::title3, QFont::Bold));
    colour(m_title, Theme::ink());
    m_title->setAlignment(Qt::AlignCenter);

    m_description->setFont(quillon::font(TextStyle::body));
    colour(m_description, Theme::secondaryInk());
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
