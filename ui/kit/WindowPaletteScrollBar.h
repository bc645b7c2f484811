#pragma once

#include <QScrollBar>

namespace quillon {

// A scroll bar drawn in the application's palette, whatever palettes the widgets around it set.
// The style keeps what it draws of a scroll bar under the palette's cache key, and a palette
// inherited from a widget that sets its own is a new one, with a new key, in every instance: a
// view made anew at every visit of a pane would add drawings to that cache each time.
class WindowPaletteScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit WindowPaletteScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void initStyleOption(QStyleOptionSlider* option) const override;
};

} // namespace quillon
