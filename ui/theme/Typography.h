#pragma once

#include <QFont>

namespace quillon {

// The text styles every screen uses, as one table of sizes and weights. The sizes are those
// at the reference body size of 13; on screen they follow the desktop's default font, so the
// body is the desktop's text size and the other styles keep their proportions to it.
enum class TextStyle { caption, subheadline, body, headline, title3, title2 };

struct TextStyleSpec {
    int referenceSize;
    QFont::Weight weight;
};

inline constexpr int referenceBodySize = 13;

TextStyleSpec textStyleSpec(TextStyle style);

// The application font in `style`, optionally with another weight.
QFont font(TextStyle style);
QFont font(TextStyle style, QFont::Weight weight);
// The application font at `referenceSize` relative to the reference body size, for the few
// texts outside the styles.
QFont fontOfSize(qreal referenceSize, QFont::Weight weight = QFont::Normal);

// When the desktop names its font by the generic sans-serif family ("Sans Serif", what the
// toolkit uses without desktop settings), names it by the family that draws it instead. Each
// size and weight of the generic family is matched twice, once as the alias and once as the
// family it resolves to, and the first window uses eight of them; the glyphs are the same. A
// desktop that names a real family is left alone, so that later changes of its font still
// reach the app.
void resolveGenericDesktopFontFamily();

} // namespace quillon
