#pragma once

#include <QByteArray>
#include <QString>

namespace quillon {

// The four keychain operations the token store needs, on generic-password items named by a
// service and an account. Statuses carry the keychain's numbers so that "not found" is told
// apart from success and from every other failure.
class KeychainBackend {
public:
    enum class Status : int {
        success = 0,
        itemNotFound = -25300,
        duplicateItem = -25299,
        notAvailable = -25291,
        failed = -25293,
        // The item is in a locked collection and the keyring's unlock prompt was refused or could
        // not be shown; the item is still there.
        locked = -25308,
    };

    // Items carry a synchronizable flag; a plain query matches only items without it, a
    // widened query (`any`) matches both.
    enum class Synchronizable { no, yes, any };

    struct Query {
        QString service;
        QString account;
        Synchronizable synchronizable = Synchronizable::no;
    };

    virtual ~KeychainBackend() = default;

    // The data of one item matching `query`.
    virtual Status copyMatching(const Query& query, QByteArray* data) = 0;
    // Replaces the data of the items matching `query`; itemNotFound when there are none.
    virtual Status update(const Query& query, const QByteArray& data) = 0;
    virtual Status add(const Query& query, const QByteArray& data) = 0;
    // Deletes every item matching `query`: success only when none is left, itemNotFound when
    // there was none.
    virtual Status remove(const Query& query) = 0;
};

} // namespace quillon
