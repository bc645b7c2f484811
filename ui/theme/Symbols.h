#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace quillon {

// The symbols the screens draw, named after what they show.
enum class Symbol {
    chartLineUptrend,
    docText,
    squareAndPencil,
    gearshape,
    ladybug,
    xmark,
    chevronLeft,
    listBullet,
    listNumber,
    person2,
    line3Horizontal,
    photoOnRectangle,
};

// The symbol from the desktop's icon theme, with Breeze as the fallback theme; a null icon
// when no installed theme has it.
QIcon symbolIcon(Symbol symbol);

// The symbol in one colour as an icon drawn afresh for every size and device pixel ratio;
// disabled, it fades.
QIcon tintedSymbolIcon(Symbol symbol, const QColor& color);

// The symbol drawn in one colour at `pixelSize`, for `devicePixelRatio`. The bug and the
// list symbols are drawn here, the others come from the theme; when no theme has one, a text
// glyph of the same meaning stands in.
QPixmap symbolPixmap(Symbol symbol, const QColor& color, int pixelSize,
                     qreal devicePixelRatio = 1.0);

} // namespace quillon
