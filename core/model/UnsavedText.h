#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <optional>

namespace quillon {

// Editor text the user has not saved, kept across a quit: the text exactly as typed, the
// owner whose drafts were loaded (none when signed out) and the draft it edits, if any.
// JSON keys "text" (required), "ownerId", "draftId" (omitted when none).
struct UnsavedText {
    QString text;
    std::optional<QString> ownerID;
    std::optional<QUuid> draftID;

    QByteArray toJson() const;
    // None when the bytes are not such an object.
    static std::optional<UnsavedText> fromJson(const QByteArray& bytes);

    friend bool operator==(const UnsavedText&, const UnsavedText&) = default;
};

} // namespace quillon
