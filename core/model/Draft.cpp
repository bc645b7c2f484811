#include "core/model/Draft.h"

#include "core/model/JsonCoding.h"
#include "core/model/UnicodeText.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

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
    return u"Untitled draft"_s;
}

QJsonObject Draft::toJson() const {
    return QJsonObject{
        {u"id"_s, id.toString(QUuid::WithoutBraces).toUpper()},
        {u"body"_s, body},
        {u"createdAt"_s, json::formatDate(createdAt)},
        {u"updatedAt"_s, json::formatDate(updatedAt)},
    };
}

Draft Draft::fromJson(json::Decoder& decoder) {
    Draft draft;
    const QString id = decoder.string(u"id"_s);
    draft.id = QUuid::fromString(id);
    if (decoder.ok() &&
        (id.size() != 36 || (draft.id.isNull() && id != QUuid().toString(QUuid::WithoutBraces)))) {
        decoder.fail(u"Expected a UUID for the key \"id\"."_s);
    }
    draft.body = decoder.string(u"body"_s);
    draft.createdAt = decoder.date(u"createdAt"_s);
    draft.updatedAt = decoder.date(u"updatedAt"_s);
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
