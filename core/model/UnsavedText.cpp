#include "core/model/UnsavedText.h"

#include "core/model/JsonCoding.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace quillon {

QByteArray UnsavedText::toJson() const {
    QJsonObject object{{u"text"_s, text}};
    json::insertIfPresent(object, u"ownerId"_s, ownerID);
    if (draftID) {
        object.insert(u"draftId"_s, draftID->toString(QUuid::WithoutBraces).toUpper());
    }
    return json::toBytes(QJsonDocument(object));
}

std::optional<UnsavedText> UnsavedText::fromJson(const QByteArray& bytes) {
    json::Decoder decoder = json::Decoder::fromBytes(bytes);
    UnsavedText unsaved;
    unsaved.text = decoder.string(u"text"_s);
    unsaved.ownerID = decoder.optionalString(u"ownerId"_s);
    if (const std::optional<QString> id = decoder.optionalString(u"draftId"_s)) {
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
