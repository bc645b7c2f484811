#include "ui/kit/ContentButton.h"

#include "ui/kit/EnterKeyActivation.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace quillon {

ContentButton::ContentButton(QWidget* parent)
    : QAbstractButton(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    EnterKeyActivation::install(this);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void ContentButton::setContent(QWidget* content) {
    if (m_content) {
        m_content->deleteLater();
    }
    m_content = content;
    content->setParent(this);
    // Clicks on the labels belong to the button.
    content->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout()->addWidget(content);
    updateGeometry();
}

void ContentButton::setBackground(std::optional<QColor> fill, qreal cornerRadius) {
    m_fill = std::move(fill);
    m_radius = cornerRadius;
    update();
}

QSize ContentButton::sizeHint() const {
    return layout()->sizeHint();
}

QSize ContentButton::minimumSizeHint() const {
    return layout()->minimumSize();
}

bool ContentButton::hasHeightForWidth() const {
    return layout()->hasHeightForWidth();
}

int ContentButton::heightForWidth(int width) const {
    return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                         : QAbstractButton::heightForWidth(width);
}

void ContentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), m_radius, m_radius);
    if (m_fill) {
        painter.fillPath(shape, *m_fill);
    }
    if (isDown()) {
        // A plain button shows the press by dimming its label.
        QColor shade = palette().color(QPalette::WindowText);
        shade.setAlphaF(0.06f);
        painter.fillPath(shape, shade);
    }
}

} // namespace quillon
