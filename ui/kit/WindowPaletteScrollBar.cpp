#include "ui/kit/WindowPaletteScrollBar.h"

#include <QApplication>
#include <QStyleOptionSlider>

namespace quillon {

WindowPaletteScrollBar::WindowPaletteScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

void WindowPaletteScrollBar::initStyleOption(QStyleOptionSlider* option) const {
    QScrollBar::initStyleOption(option);
    // Shared with the application, so its cache key stays the same for every instance.
    option->palette = QApplication::palette(this);
}

} // namespace quillon
