#pragma once

#include <QList>
#include <QString>

namespace quillon {

// One success story of the Insights page: the result, the person, how it came about and
// the address of their LinkedIn post, which also identifies the entry.
struct Insight {
    QString topline;
    QString title;
    QString summary;
    QString url;

    friend bool operator==(const Insight&, const Insight&) = default;
};

// The six built-in stories, in the order the page shows them.
const QList<Insight>& insightsCatalog();

} // namespace quillon
