#include "core/model/UnsavedText.h"

#include "core/model/JsonCoding.h"

#include <QJsonObject>

namespace quillon {

QByteArray UnsavedText::toJson() const {
    QJsonObject object{{QStringLiteral("text"), text}};
    json::insertIfPresent(object, QStringLiteral("ownerId"), ownerID);
    if (draftID) {
        object.insert(QStringLiteral("draftId"), draftID->toString(QUuid::WithoutBraces).toUpper());
    }
    return json::toBytes(QJsonDocument(object));
}

std::optional<UnsavedText> UnsavedText::fromJson(const QByteArray& bytes) {
    json::Decoder decoder = json::Decoder::fromBytes(bytes);
    UnsavedText unsaved;
    unsaved.text = decoder.string(QStringLiteral("text"));
    unsaved.ownerID = decoder.optionalString(QStringLiteral("ownerId"));
    if (const std::optional<QString> id = decoder.optionalString(QStringLiteral("draftId"))) {
        // A draft that cannot be named is none: the text is what matters.
        if (const QUuid uuid = QUuid::fromString(*id); !uuid.isNull()) {
            unsaved.draftID = uuid;
        }
    }
    if (!decoder.ok()) {
        return std::nullopt;
    }
    return unsaved;
}

} // namespace quillon
