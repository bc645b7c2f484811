#pragma once

#include "ui/editor/EditorFormatCommand.h"
#include "ui/editor/FormatEdit.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// The pure text transforms behind the editor's formatting commands. Formatting lives in the
// characters: mathematical sans-serif letters, combining marks, backticks and line prefixes,
// so a post keeps its look wherever it is pasted. No widget, no event loop; every position is
// in UTF-16 code units.
namespace quillon::formatting {

// Mathematical sans-serif bold and italic (block Mathematical Alphanumeric Symbols).
inline constexpr char32_t boldCapitalBase = 0x1D5D4;
inline constexpr char32_t boldSmallBase = 0x1D5EE;
inline constexpr char32_t boldDigitBase = 0x1D7EC;
inline constexpr char32_t italicCapitalBase = 0x1D608;
inline constexpr char32_t italicSmallBase = 0x1D622;

inline constexpr char32_t strikethroughMark = 0x0336; // COMBINING LONG STROKE OVERLAY
inline constexpr char32_t underlineMark = 0x0332;     // COMBINING LOW LINE
inline constexpr char16_t codeFence = u'`';

// ASCII letters become capitalBase/smallBase + offset, ASCII digits digitBase + offset when a
// digit base is given; every other scalar is returned unchanged.
char32_t styledScalar(char32_t scalar, char32_t capitalBase, char32_t smallBase,
                      std::optional<char32_t> digitBase);
// `text` with styledScalar applied to every Unicode scalar. Already styled letters are not
// ASCII, so nothing toggles.
QString styledText(QStringView text, char32_t capitalBase, char32_t smallBase,
                   std::optional<char32_t> digitBase);

// `text` with `mark` after every extended grapheme cluster (Unicode Standard Annex #29).
QString appendingCombiningMark(QStringView text, char32_t mark);

// The ASCII letter or digit a sans-serif bold or italic scalar stands for, else none.
std::optional<char32_t> plainScalar(char32_t scalar);
// Decomposed text without the strike and underline marks and with styled letters mapped back
// by plainScalar. Returns the scalars already joined.
QString plainText(QStringView decomposed);

// Every piece prefixed with "- ", or with its 1-based number and ". ", then concatenated.
// Pieces carry their own line terminators (see splitLines), so no separator is added.
QString bulletLines(const QList<QStringView>& lines);
QString numberLines(const QList<QStringView>& lines);

// Is `c` one of the line terminators of lineRange: LF, CR, U+0085, U+2028, U+2029.
constexpr bool isLineTerminator(char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

// From the start of the line holding the selection's start to the end of the line holding its
// last character (the caret's line for an empty selection), including that line's terminator;
// CR LF is one terminator. A selection ending just after a terminator stays on that line.
// The selection is clamped to the text first.
TextRange lineRange(QStringView text, TextRange selection);
// The lines of a line range's text, each with its terminator as it was. A final terminator
// ends the last line and starts no empty one; an empty text is one empty line.
QList<QStringView> splitLines(QStringView text);

// The selection clamped to `text` and widened so that neither end splits a surrogate pair.
TextRange wellFormedSelection(QStringView text, TextRange selection);

// The edit `command` makes on `text` with `selection`: none for a character command on an
// empty selection. A transform that changes nothing still yields an edit.
std::optional<FormatEdit> makeFormatEdit(EditorFormatCommand command, QStringView text,
                                         TextRange selection);

} // namespace quillon::formatting
