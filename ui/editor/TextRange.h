#pragma once

#include <QtGlobal>

namespace quillon {

// A span of text in UTF-16 code units, the unit QString and QTextCursor count in.
struct TextRange {
    qsizetype location = 0;
    qsizetype length = 0;

    constexpr qsizetype end() const { return location + length; }
    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};

} // namespace quillon
