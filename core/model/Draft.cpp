#include "core/model/Draft.h"

#include "core/model/JsonCoding.h"
#include "core/model/UnicodeText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace quillon {

QString Draft::title() const {
    constexpr qsizetype maxTitleLength = 72;
    const QStringView text(body);
    auto titleFrom = [](QStringView line) {
        return unicode::leftGraphemes(unicode::trimmedWhitespaceAndNewlines(line), maxTitleLength);
    };
    // The first non-empty piece between line feeds. A line feed counts as a whole character,
    // so the CR LF pair is not a line feed and does not split.
    qsizetype start = 0;
    for (const QStringView cluster : unicode::graphemeClusters(text)) {
        if (cluster != u"\n") {
            continue;
        }
        const qsizetype end = cluster.data() - text.data();
        if (end > start) {
            return titleFrom(text.sliced(start, end - start));
        }
        start = end + 1;
    }
    if (start < text.size()) {
        return titleFrom(text.sliced(start));
    }
    return QStringLiteral("Untitled draft");
}

QJsonObject Draft::toJson() const {
    return QJsonObject{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("body"), body},
        {QStringLiteral("createdAt"), json::formatDate(createdAt)},
        {QStringLiteral("updatedAt"), json::formatDate(updatedAt)},
    };
}

Draft Draft::fromJson(json::Decoder& decoder) {
    Draft draft;
    const QString id = decoder.string(QStringLiteral("id"));
    draft.id = QUuid::fromString(id);
    if (decoder.ok() &&
        (id.size() != 36 || (draft.id.isNull() && id != QUuid().toString(QUuid::WithoutBraces)))) {
        decoder.fail(QStringLiteral("Expected a UUID for the key \"id\"."));
    }
    draft.body = decoder.string(QStringLiteral("body"));
    draft.createdAt = decoder.date(QStringLiteral("createdAt"));
    draft.updatedAt = decoder.date(QStringLiteral("updatedAt"));
    return draft;
}

std::optional<QList<Draft>> Draft::listFromJson(const QByteArray& bytes) {
    QJsonParseError parseError;
    const QJsonDocument document = json::fromBytes(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    QList<Draft> drafts;
    const QJsonArray array = document.array();
    drafts.reserve(array.size());
    for (const QJsonValue& value : array) {
        if (!value.isObject()) {
            return std::nullopt;
        }
        json::Decoder decoder(value.toObject());
        Draft draft = fromJson(decoder);
        if (!decoder.ok()) {
            return std::nullopt;
        }
        drafts.append(std::move(draft));
    }
    return drafts;
}

QByteArray Draft::listToJson(const QList<Draft>& drafts) {
    QJsonArray array;
    for (const Draft& draft : drafts) {
        array.append(draft.toJson());
    }
    return json::toBytes(QJsonDocument(array));
}

} // namespace quillon
