#pragma once

#include "ui/editor/TextRange.h"

#include <QString>

namespace quillon {

// What one formatting command does to a text: replace `range` with `replacement`, then
// select `selection`.
struct FormatEdit {
    TextRange range;
    QString replacement;
    TextRange selection;

    friend bool operator==(const FormatEdit&, const FormatEdit&) = default;
};

} // namespace quillon
