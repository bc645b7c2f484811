#include "ui/kit/LinkButton.h"

#include "ui/kit/EnterKeyActivation.h"

#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QPainter>
#include <algorithm>

namespace quillon {
namespace {

// A screen reader hears a link, which the press action follows, rather than a push button.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkButton* link)
        : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return link()->text();
        }
        if (t == QAccessible::Value) {
            return link()->url().toString();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        s.pressed = link()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (name == pressAction()) {
            if (link()->isEnabled()) {
                link()->click();
            }
            return;
        }
        QAccessibleWidget::doAction(name);
    }

private:
    LinkButton* link() const { return static_cast<LinkButton*>(widget()); }
};

QAccessibleInterface* linkFactory(const QString& className, QObject* object) {
    // Asked first with the object's own class, before QPushButton's interface.
    if (className != QLatin1String(LinkButton::staticMetaObject.className())) {
        return nullptr;
    }
    auto* link = qobject_cast<LinkButton*>(object);
    return link ? new LinkAccessible(link) : nullptr;
}

void installLinkFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(linkFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace

LinkButton::LinkButton(const QString& text, QUrl url, const QColor& color, QWidget* parent)
    : QPushButton(text, parent)
    , m_url(std::move(url))
    , m_color(color) {
    installLinkFactory();
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    // Enter opens the focused link, in a dialog and outside one.
    setAutoDefault(true);
    EnterKeyActivation::install(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setProperty("focusRingRadius", 4);
    // The text runs to the widget's sides; the ring keeps clear of it.
    setProperty("focusRingPadding", 2);
    connect(this, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(m_url); });
}

int LinkButton::underlineWidth() const {
    return m_hovered ? 2 : 1;
}

QSize LinkButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isDown()) {
        painter.setOpacity(pressedOpacity);
    }
    const QColor color =
        isEnabled() ? m_color : palette().color(QPalette::Disabled, QPalette::ButtonText);
    const QFontMetrics metrics(font());
    const QRect textRect =
        rect().adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    painter.setFont(font());
    painter.setPen(color);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    // Drawn by hand rather than by the font, so the hover can thicken it without moving it.
    const int baseline =
        textRect.top() + (textRect.height() - metrics.height()) / 2 + metrics.ascent();
    const int top = baseline + std::max(1, metrics.underlinePos());
    painter.fillRect(
        QRect(textRect.left(), top, metrics.horizontalAdvance(text()), underlineWidth()), color);
}

void LinkButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QPushButton::enterEvent(event);
}

void LinkButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QPushButton::leaveEvent(event);
}

} // namespace quillon
