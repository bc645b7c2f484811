#pragma once

#include <QPointer>
#include <QWidget>

namespace quillon {

// Gives the keyboard focus back to a control that was disabled while its work ran. Qt moves the
// focus on when the focused widget is disabled; without this a keyboard user would find it on
// the next control once the work is done. The focus returns only if nobody moved it meanwhile.
class FocusReturn {
public:
    // Enables or disables `control`, remembering or returning the focus.
    void setEnabled(QWidget* control, bool enabled);

private:
    QPointer<QWidget> m_control;
    QPointer<QWidget> m_movedTo;
};

} // namespace quillon
