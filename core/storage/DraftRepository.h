#pragma once

#include "core/model/Draft.h"
#include "core/model/UnsavedText.h"
#include "core/storage/StorageWriteStatus.h"

#include <QList>
#include <QString>
#include <optional>

namespace quillon {

// Where the drafts of each owner (a LinkedIn member ID, none when signed out) are kept, and
// the one editor text not yet saved. Reads never fail: unreadable drafts load as an empty list,
// an unreadable unsaved text as none. A write that cannot complete leaves what was stored as it
// was and says why.
class DraftRepository {
public:
    virtual ~DraftRepository() = default;
    virtual QList<Draft> loadDrafts(const std::optional<QString>& ownerID) = 0;
    virtual StorageWriteStatus saveDrafts(const QList<Draft>& drafts,
                                          const std::optional<QString>& ownerID) = 0;
    virtual StorageWriteStatus deleteDrafts(const std::optional<QString>& ownerID) = 0;
    virtual std::optional<UnsavedText> loadUnsavedText() = 0;
    // None removes what was kept.
    virtual StorageWriteStatus saveUnsavedText(const std::optional<UnsavedText>& unsaved) = 0;
};

} // namespace quillon
