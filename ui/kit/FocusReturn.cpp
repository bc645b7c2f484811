#include "ui/kit/FocusReturn.h"

#include <QApplication>

namespace quillon {

void FocusReturn::setEnabled(QWidget* control, bool enabled) {
    if (!enabled) {
        const bool hadFocus = control->hasFocus();
        control->setEnabled(false);
        if (hadFocus) {
            m_control = control;
            m_movedTo = QApplication::focusWidget();
        }
        return;
    }
    control->setEnabled(true);
    if (m_control == control && control->isVisible() &&
        QApplication::focusWidget() == m_movedTo.data()) {
        control->setFocus(Qt::OtherFocusReason);
    }
    m_control.clear();
    m_movedTo.clear();
}

} // namespace quillon
