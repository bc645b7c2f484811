#pragma once

#include <QString>

namespace quillon {

// A span of text in UTF-16 code units, the unit QString and QTextCursor count in.
struct TextRange {
    qsizetype location = 0;
    qsizetype length = 0;

    constexpr qsizetype end() const { return location + length; }
    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};

// What one formatting command does to a text: replace `range` with `replacement`, then
// select `selection`.
struct FormatEdit {
    TextRange range;
    QString replacement;
    TextRange selection;

    friend bool operator==(const FormatEdit&, const FormatEdit&) = default;
};

} // namespace quillon
