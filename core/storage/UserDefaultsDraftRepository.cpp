#include "core/storage/UserDefaultsDraftRepository.h"

#include <QSettings>

namespace quillon {

UserDefaultsDraftRepository::UserDefaultsDraftRepository(QString key,
                                                         std::shared_ptr<QSettings> defaults)
    : m_key(std::move(key))
    , m_defaults(std::move(defaults)) {}

QString UserDefaultsDraftRepository::entryKey(const std::optional<QString>& ownerID) const {
    return m_key + u'.' + ownerID.value_or(QStringLiteral("signed-out"));
}

QList<Draft> UserDefaultsDraftRepository::loadDrafts(const std::optional<QString>& ownerID) {
    const QVariant value = m_defaults->value(entryKey(ownerID));
    if (value.typeId() != QMetaType::QByteArray) {
        return {};
    }
    return Draft::listFromJson(value.toByteArray()).value_or(QList<Draft>());
}

void UserDefaultsDraftRepository::saveDrafts(const QList<Draft>& drafts,
                                             const std::optional<QString>& ownerID) {
    m_defaults->setValue(entryKey(ownerID), Draft::listToJson(drafts));
    // Drafts are the user's work: written through at once, not at some later flush.
    m_defaults->sync();
}

void UserDefaultsDraftRepository::deleteDrafts(const std::optional<QString>& ownerID) {
    m_defaults->remove(entryKey(ownerID));
    m_defaults->sync();
}

QString UserDefaultsDraftRepository::unsavedTextKey() const {
    return m_key + QStringLiteral(".unsavedText");
}

std::optional<UnsavedText> UserDefaultsDraftRepository::loadUnsavedText() {
    const QVariant value = m_defaults->value(unsavedTextKey());
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return UnsavedText::fromJson(value.toByteArray());
}

void UserDefaultsDraftRepository::saveUnsavedText(const std::optional<UnsavedText>& unsaved) {
    if (unsaved) {
        m_defaults->setValue(unsavedTextKey(), unsaved->toJson());
    } else {
        m_defaults->remove(unsavedTextKey());
    }
    m_defaults->sync();
}

} // namespace quillon
