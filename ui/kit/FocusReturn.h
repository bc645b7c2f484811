#pragma once

#include <QPointer>
#include <QWidget>
#include <initializer_list>

namespace quillon {

// Gives the keyboard focus back to a control that was disabled while its work ran. Qt moves the
// focus on when the focused widget is disabled; without this a keyboard user would find it on
// the next control once the work is done (often the floating feedback button). Meanwhile the
// control's container holds it, and it returns only if nobody moved it. Compared within the
// control's window, so it also returns while another program's window (the sign-in sheet) is
// active.
class FocusReturn {
public:
    // Enables or disables `control`, remembering or returning the focus. A control hidden by
    // the time it is enabled again hands the focus to `fallback`, if given.
    void setEnabled(QWidget* control, bool enabled, QWidget* fallback = nullptr);
    // The same for controls disabled and enabled together: the one of them that had the focus
    // gets it back, not whichever Qt moved it to last. Null entries are skipped.
    void setEnabled(std::initializer_list<QWidget*> controls, bool enabled,
                    QWidget* fallback = nullptr);

private:
    QPointer<QWidget> m_control;
    QPointer<QWidget> m_movedTo;
};

} // namespace quillon
