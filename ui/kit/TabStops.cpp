#include "ui/kit/TabStops.h"

#include <QWidget>

namespace quillon {

QWidget* firstTabStopIn(QWidget* container) {
    for (QWidget* widget = container->nextInFocusChain(); widget && widget != container;
         widget = widget->nextInFocusChain()) {
        if (container->isAncestorOf(widget) && (widget->focusPolicy() & Qt::TabFocus) &&
            widget->isVisibleTo(container) && widget->isEnabled()) {
            return widget;
        }
    }
    return nullptr;
}

} // namespace quillon
