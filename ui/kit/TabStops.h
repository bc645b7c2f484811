#pragma once

class QWidget;

namespace quillon {

// The first control inside `container` that Tab would stop at (shown, enabled, taking Tab
// focus), in the focus chain's order; null when there is none.
QWidget* firstTabStopIn(QWidget* container);

} // namespace quillon
