#pragma once

#include <QString>

class QBoxLayout;

namespace quillon {

class Surface;

// A pane's card: the card colour under rounded corners, with `layout` laid in it at the
// default padding and `spacing` between its items.
Surface* cardSurface(const QString& objectName, QBoxLayout* layout, int spacing);

} // namespace quillon
