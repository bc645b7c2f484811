#pragma once

#include "core/model/Draft.h"

#include <QStringList>

namespace quillon::testing {

// The drafts' texts in order: what a test compares a list of drafts by.
inline QStringList bodiesOf(const QList<Draft>& drafts) {
    QStringList result;
    for (const Draft& draft : drafts) {
        result.append(draft.body);
    }
    return result;
}

} // namespace quillon::testing
