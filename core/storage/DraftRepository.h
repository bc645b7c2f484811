#pragma once

#include "core/model/Draft.h"
#include "core/model/UnsavedText.h"

#include <QList>
#include <QString>
#include <optional>

namespace quillon {

// Where the drafts of each owner (a LinkedIn member ID, none when signed out) are kept, and
// the one editor text not yet saved. Storage never reports failure: unreadable drafts load as
// an empty list, an unreadable unsaved text as none.
class DraftRepository {
public:
    virtual ~DraftRepository() = default;
    virtual QList<Draft> loadDrafts(const std::optional<QString>& ownerID) = 0;
    virtual void saveDrafts(const QList<Draft>& drafts, const std::optional<QString>& ownerID) = 0;
    virtual void deleteDrafts(const std::optional<QString>& ownerID) = 0;
    virtual std::optional<UnsavedText> loadUnsavedText() = 0;
    // None removes what was kept.
    virtual void saveUnsavedText(const std::optional<UnsavedText>& unsaved) = 0;
};

} // namespace quillon
