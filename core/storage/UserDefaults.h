#pragma once

#include "core/storage/StorageWriteStatus.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

// The app's per-user defaults: bytes under text keys. Reads never fail (what cannot be read is
// absent); a write is all of its changes or none of them, and says how it ended.
class UserDefaults {
public:
    // One entry of a write: the bytes to keep under `key`, or none to remove the entry.
    struct Change {
        QString key;
        std::optional<QByteArray> value;
    };

    virtual ~UserDefaults() = default;

    virtual std::optional<QByteArray> value(const QString& key) = 0;
    // The keys that start with `prefix`, in no particular order.
    virtual QStringList keys(const QString& prefix) = 0;
    virtual StorageWriteStatus write(const QList<Change>& changes) = 0;
    // Where a damaged store found at start was moved; none when the store was sound.
    virtual std::optional<QString> setAsideFile() const = 0;

    StorageWriteStatus setValue(const QString& key, const QByteArray& value) {
        return write({{key, value}});
    }
    StorageWriteStatus remove(const QString& key) { return write({{key, std::nullopt}}); }
};

} // namespace quillon
