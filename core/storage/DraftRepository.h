#pragma once

#include "core/model/Draft.h"

#include <QList>
#include <QString>
#include <optional>

namespace quillon {

// Where the drafts of each owner (a LinkedIn member ID, none when signed out) are kept.
// Storage never reports failure: unreadable drafts load as an empty list.
class DraftRepository {
public:
    virtual ~DraftRepository() = default;
    virtual QList<Draft> loadDrafts(const std::optional<QString>& ownerID) = 0;
    virtual void saveDrafts(const QList<Draft>& drafts, const std::optional<QString>& ownerID) = 0;
    virtual void deleteDrafts(const std::optional<QString>& ownerID) = 0;
};

} // namespace quillon
