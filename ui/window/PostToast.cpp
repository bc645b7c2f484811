#include "ui/window/PostToast.h"

#include "ui/kit/NotificationAccessible.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {
constexpr int topPadding = 12;
constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 10;
constexpr qreal shadowOpacity = 0.12;
// Between the title and its detail.
constexpr int detailSpacing = 2;
// Kept clear on either side of a toast as wide as the window allows.
constexpr int windowMargin = 24;
// A toast of two lines or more is a rounded card rather than a capsule.
constexpr qreal cardRadius = 14;
} // namespace

PostToast::PostToast(QWidget* parent)
    : QWidget(parent)
    , m_text(u"Posted to LinkedIn"_s)
    , m_shadow(new QGraphicsDropShadowEffect(this)) {
    NotificationAccessible::installFactory();
    // The text is painted; this is what a screen reader says.
    setAccessibleName(m_text);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(quillon::font(TextStyle::subheadline, QFont::DemiBold));
    // One widget, one effect: the fade is painted, so the shadow can be the graphics effect.
    m_shadow->setColor(Theme::withOpacity(Theme::ink(), 0));
    m_shadow->setBlurRadius(18);
    m_shadow->setOffset(0, 8);
    setGraphicsEffect(m_shadow);
    resize(sizeHint());
    hide();
}

QSize PostToast::sizeHint() const {
    const QFontMetrics metrics(font());
    QSize size(metrics.horizontalAdvance(m_text), metrics.height());
    if (!m_detail.isEmpty()) {
        const QRect detail = detailBounds();
        size = {std::max(size.width(), detail.width()),
                size.height() + detailSpacing + detail.height()};
    }
    return size + QSize(2 * horizontalPadding, 2 * verticalPadding);
}

void PostToast::setDetail(const QString& detail) {
    m_detail = detail;
    setAccessibleName(detail.isEmpty() ? m_text : m_text + u". "_s + detail);
    resize(sizeHint());
    place();
}

QFont PostToast::detailFont() const {
    return quillon::font(TextStyle::subheadline);
}

QRect PostToast::detailBounds() const {
    const int widest = parentWidget() ? parentWidget()->width() - 2 * windowMargin : 480;
    const int width = std::max(widest - 2 * horizontalPadding, QFontMetrics(font()).height() * 4);
    return QFontMetrics(detailFont())
        .boundingRect(QRect(0, 0, width, 0), Qt::AlignHCenter | Qt::TextWordWrap, m_detail);
}

void PostToast::present() {
    if (m_presented) {
        return;
    }
    m_presented = true;
    resize(sizeHint());
    place();
    show();
    raise();
    animateTo(1, enterMilliseconds);
}

void PostToast::dismiss() {
    if (!m_presented) {
        return;
    }
    m_presented = false;
    animateTo(0, leaveMilliseconds);
}

void PostToast::animateTo(qreal target, int milliseconds) {
    if (m_animation) {
        m_animation->stop();
        m_animation->deleteLater();
    }
    // One curve drives both the fade and the move from the top edge.
    m_animation = new QPropertyAnimation(this, "progress", this);
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->setDuration(milliseconds);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QAbstractAnimation::finished, this, [this] {
        if (!m_presented) {
            hide();
        }
    });
    m_animation->start();
}

void PostToast::setProgress(qreal progress) {
    m_progress = progress;
    m_shadow->setColor(Theme::withOpacity(Theme::ink(), shadowOpacity * progress));
    place();
    update();
}

void PostToast::place() {
    if (!parentWidget()) {
        return;
    }
    const int x = (parentWidget()->width() - width()) / 2;
    const int rest = topPadding;
    const int y = rest - qRound((1 - m_progress) * (rest + height()));
    move(x, y);
}

void PostToast::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_progress);
    const QRectF bounds = rect();
    const qreal radius = m_detail.isEmpty() ? bounds.height() / 2 : cardRadius;
    QPainterPath capsule;
    capsule.addRoundedRect(bounds, radius, radius);
    painter.fillPath(capsule, Theme::withOpacity(Theme::card(), 0.96));
    painter.setPen(Theme::ink());
    if (m_detail.isEmpty()) {
        painter.drawText(bounds, Qt::AlignCenter, m_text);
        return;
    }
    const QRectF inside =
        bounds.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const qreal titleHeight = QFontMetrics(font()).height();
    painter.drawText(QRectF(inside.left(), inside.top(), inside.width(), titleHeight),
                     Qt::AlignCenter, m_text);
    painter.setFont(detailFont());
    painter.setPen(Theme::secondaryInk());
    painter.drawText(QRectF(inside.left(), inside.top() + titleHeight + detailSpacing,
                            inside.width(), inside.height() - titleHeight - detailSpacing),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_detail);
}

} // namespace quillon
