#include "core/storage/UserDefaultsDraftRepository.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace quillon {

UserDefaultsDraftRepository::UserDefaultsDraftRepository(QString key,
                                                         std::shared_ptr<UserDefaults> defaults)
    : m_key(std::move(key))
    , m_defaults(std::move(defaults)) {}

QString UserDefaultsDraftRepository::entryKey(const std::optional<QString>& ownerID) const {
    return m_key + u'.' + ownerID.value_or(u"signed-out"_s);
}

QString UserDefaultsDraftRepository::unreadablePrefix(const QString& entry) {
    return entry + u".unreadable-"_s;
}

void UserDefaultsDraftRepository::keepUnreadableAside(const QString& entry,
                                                      QList<UserDefaults::Change>& changes) const {
    const std::optional<QByteArray> stored = m_defaults->value(entry);
    if (!stored || Draft::listFromJson(*stored)) {
        return;
    }
    const QString base = unreadablePrefix(entry) +
                         QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-ddTHH:mm:ssZ"_s);
    QString aside = base;
    for (int n = 2; m_defaults->value(aside); ++n) {
        aside = base + u'-' + QString::number(n);
    }
    changes.append({aside, *stored});
}

QList<Draft> UserDefaultsDraftRepository::loadDrafts(const std::optional<QString>& ownerID) {
    const std::optional<QByteArray> stored = m_defaults->value(entryKey(ownerID));
    if (!stored) {
        return {};
    }
    return Draft::listFromJson(*stored).value_or(QList<Draft>());
}

StorageWriteStatus UserDefaultsDraftRepository::saveDrafts(const QList<Draft>& drafts,
                                                           const std::optional<QString>& ownerID) {
    const QString entry = entryKey(ownerID);
    QList<UserDefaults::Change> changes;
    keepUnreadableAside(entry, changes);
    changes.append({entry, Draft::listToJson(drafts)});
    return m_defaults->write(changes);
}

StorageWriteStatus
UserDefaultsDraftRepository::deleteDrafts(const std::optional<QString>& ownerID) {
    const QString entry = entryKey(ownerID);
    // The owner's values kept aside go with the list: a deleted account leaves nothing behind.
    QList<UserDefaults::Change> changes{{entry, std::nullopt}};
    for (const QString& aside : m_defaults->keys(unreadablePrefix(entry))) {
        changes.append({aside, std::nullopt});
    }
    return m_defaults->write(changes);
}

QString UserDefaultsDraftRepository::unsavedTextKey() const {
    return m_key + u".unsavedText"_s;
}

std::optional<UnsavedText> UserDefaultsDraftRepository::loadUnsavedText() {
    const std::optional<QByteArray> stored = m_defaults->value(unsavedTextKey());
    return stored ? UnsavedText::fromJson(*stored) : std::nullopt;
}

StorageWriteStatus
UserDefaultsDraftRepository::saveUnsavedText(const std::optional<UnsavedText>& unsaved) {
    return m_defaults->write(
        {{unsavedTextKey(), unsaved ? std::optional(unsaved->toJson()) : std::nullopt}});
}

} // namespace quillon
