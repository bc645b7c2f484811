#include "ui/account/NavigationStack.h"

#include "ui/kit/TabStops.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr int backIconSize = 17;

// The pushed page under its bar; `page` is its second child.
QWidget* framed(QWidget* page, NavigationStack* stack) {
    auto* frame = new QWidget;
    // The window's palette carries the page colour; see AccountSettingsView::rootPage.
    frame->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(Metrics::defaultPadding / 2, 8, Metrics::defaultPadding, 0);
    auto* back = new QPushButton(u"Settings"_s);
    back->setObjectName(u"backButton"_s);
    back->setAccessibleName(u"Back"_s);
    back->setToolTip(u"Back (Esc)"_s);
    back->setFlat(true);
    // The focus ring shows its focus.
    back->setStyleSheet(
        u"QPushButton { color: %1; background: transparent; outline: none;"
        " border: 2px solid transparent; border-radius: 6px; padding: 2px 6px; }"_s.arg(
            Theme::ink().name(QColor::HexArgb)));
    // Enter activates it like Space, outside a dialog too.
    back->setAutoDefault(true);
    back->setFont(quillon::font(TextStyle::body));
    back->setIcon(tintedSymbolIcon(Symbol::chevronLeft, Theme::ink()));
    back->setIconSize(QSize(backIconSize, backIconSize));
    QObject::connect(back, &QPushButton::clicked, stack, &NavigationStack::pop);
    row->addWidget(back);
    row->addStretch(1);
    column->addWidget(bar);
    column->addWidget(page, 1);
    return frame;
}

} // namespace

NavigationStack::NavigationStack(QWidget* root, QWidget* parent)
    : QWidget(parent)
    , m_root(root)
    , m_stack(new QStackedWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_stack->addWidget(root);

    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Back)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &NavigationStack::pop);
        m_backShortcuts.append(shortcut);
    }
    enableShortcuts();
    nameAfterTop();
}

void NavigationStack::nameAfterTop() {
    // A screen reader calls the stack a layered pane; named, it says which page is up.
    m_stack->setAccessibleName(top()->accessibleName());
}

void NavigationStack::enableShortcuts() {
    // At the root Escape stays free for whatever else wants it.
    for (QShortcut* shortcut : m_backShortcuts) {
        shortcut->setEnabled(depth() > 1);
    }
}

int NavigationStack::depth() const {
    return m_stack->count();
}

QWidget* NavigationStack::top() const {
    if (m_stack->count() <= 1) {
        return m_root;
    }
    // The page is the frame's second child widget.
    QWidget* frame = m_stack->widget(m_stack->count() - 1);
    return frame->layout()->itemAt(1)->widget();
}

void NavigationStack::push(QWidget* page) {
    // The page's controls, in their tab order, before the bar joins the chain.
    QList<QWidget*> controls;
    for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w)) {
            controls.append(w);
        }
    }
    m_returnFocus.append(QApplication::focusWidget());
    QWidget* frame = framed(page, this);
    // The bar was made after the page, so its back control would come last; it leads.
    QWidget* previous = frame->findChild<QPushButton*>(u"backButton"_s);
    for (QWidget* control : controls) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
    m_stack->addWidget(frame);
    m_stack->setCurrentWidget(frame);
    page->setFocus(Qt::OtherFocusReason);
    enableShortcuts();
    nameAfterTop();
    Q_EMIT depthChanged(depth());
}

void NavigationStack::pop() {
    if (m_stack->count() <= 1) {
        return;
    }
    QWidget* frame = m_stack->widget(m_stack->count() - 1);
    m_stack->removeWidget(frame);
    frame->hide();
    frame->deleteLater();
    const QPointer<QWidget> opener = m_returnFocus.takeLast();
    if (opener && m_stack->currentWidget()->isAncestorOf(opener) && opener->isVisible()) {
        opener->setFocus(Qt::OtherFocusReason);
    } else if (QWidget* first = firstTabStopIn(m_stack->currentWidget())) {
        // The opener went with the page's work (the account button after a log-out).
        first->setFocus(Qt::OtherFocusReason);
    } else {
        m_stack->currentWidget()->setFocus(Qt::OtherFocusReason);
    }
    enableShortcuts();
    nameAfterTop();
    Q_EMIT depthChanged(depth());
}

void NavigationStack::popTo(QWidget* page) {
    for (int i = 1; i < m_stack->count(); ++i) {
        if (m_stack->widget(i)->isAncestorOf(page)) {
            while (m_stack->count() > i) {
                pop();
            }
            return;
        }
    }
}

} // namespace quillon
