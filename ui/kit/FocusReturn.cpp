#include "ui/kit/FocusReturn.h"

#include <algorithm>

namespace quillon {
namespace {

// The window's own focus widget: the application's is null while another program is active.
QWidget* focusInWindowOf(QWidget* widget) {
    return widget->window()->focusWidget();
}

} // namespace

void FocusReturn::setEnabled(QWidget* control, bool enabled, QWidget* fallback) {
    setEnabled({control}, enabled, fallback);
}

void FocusReturn::setEnabled(std::initializer_list<QWidget*> controls, bool enabled,
                             QWidget* fallback) {
    if (!enabled) {
        QWidget* focused = nullptr;
        QWidget* any = nullptr;
        for (QWidget* control : controls) {
            if (!control) {
                continue;
            }
            any = control;
            if (control->isEnabled() && focusInWindowOf(control) == control) {
                focused = control;
            }
        }
        if (focused && focused->parentWidget()) {
            // Held by the control's container meanwhile: disabled with the focus, the control
            // would pass it on to the next stop (the floating feedback button), which a screen
            // reader announces and the next Enter would press.
            focused->parentWidget()->setFocus(Qt::OtherFocusReason);
        }
        for (QWidget* control : controls) {
            if (control) {
                control->setEnabled(false);
            }
        }
        if (focused) {
            m_control = focused;
            m_movedTo = focusInWindowOf(any);
        }
        return;
    }
    for (QWidget* control : controls) {
        if (control) {
            control->setEnabled(true);
        }
    }
    QWidget* const control = m_control;
    const bool returns =
        control && std::find(controls.begin(), controls.end(), control) != controls.end();
    if (returns && focusInWindowOf(control) == m_movedTo.data()) {
        if (control->isVisible()) {
            control->setFocus(Qt::OtherFocusReason);
        } else if (fallback && fallback->isVisible()) {
            fallback->setFocus(Qt::OtherFocusReason);
        }
    }
    m_control.clear();
    m_movedTo.clear();
}

} // namespace quillon
