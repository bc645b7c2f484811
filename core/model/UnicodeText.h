#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <functional>

// Unicode text services the app needs beyond QString, backed by ICU: extended grapheme
// clusters (Unicode Standard Annex #29) and canonical decomposition. All positions are
// UTF-16 code units, like QString's.
namespace quillon::unicode {

// Offsets of every grapheme-cluster boundary in `text`, from 0 to text.size() inclusive.
// An empty text gives {0}.
QList<qsizetype> graphemeBoundaries(QStringView text);

// Calls `visit` with the end of every grapheme cluster of `text`, in order, without building a
// list (for texts of megabytes). `visit` must not call back into these functions.
void forEachGraphemeBoundary(QStringView text, const std::function<void(qsizetype)>& visit);

// The grapheme clusters of `text`, in order, as views into it.
QList<QStringView> graphemeClusters(QStringView text);

// The first `count` grapheme clusters of `text` (all of it when it has fewer).
QString leftGraphemes(QStringView text, qsizetype count);

// Canonical decomposition (NFD).
QString nfd(QStringView text);

// Text equality under canonical equivalence, as users perceive it.
bool canonicallyEqual(QStringView a, QStringView b);

// Trims whitespace and newline characters (general category Z*, U+0009 to U+000D, U+0085)
// from both ends.
QString trimmedWhitespaceAndNewlines(QStringView text);

} // namespace quillon::unicode
