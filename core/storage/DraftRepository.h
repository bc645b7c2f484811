#pragma once

#include "core/model/Draft.h"
#include "core/storage/StorageWriteStatus.h"

#include <QList>
#include <QString>
#include <optional>

namespace quillon {

// Where the drafts of each owner (a LinkedIn member ID, none when signed out) are kept.
// Reads never fail: unreadable drafts load as an empty list. A write that cannot complete
// leaves what was stored as it was and says why.
class DraftRepository {
public:
    virtual ~DraftRepository() = default;
    virtual QList<Draft> loadDrafts(const std::optional<QString>& ownerID) = 0;
    virtual StorageWriteStatus saveDrafts(const QList<Draft>& drafts,
                                          const std::optional<QString>& ownerID) = 0;
    virtual StorageWriteStatus deleteDrafts(const std::optional<QString>& ownerID) = 0;
};

} // namespace quillon
