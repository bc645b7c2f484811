#pragma once

#include <QFont>

namespace quillon {

// The text styles every screen uses, as one table of sizes and weights. Sizes are in device-
// independent pixels, like every other length of the layout.
enum class TextStyle { caption, subheadline, body, headline, title3, title2 };

struct TextStyleSpec {
    int pixelSize;
    QFont::Weight weight;
};

TextStyleSpec textStyleSpec(TextStyle style);

// The application font in `style`, optionally with another weight.
QFont font(TextStyle style);
QFont font(TextStyle style, QFont::Weight weight);

} // namespace quillon
