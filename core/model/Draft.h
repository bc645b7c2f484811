#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace quillon {

namespace json {
class Decoder;
}

// One saved post. JSON keys "id", "body", "createdAt", "updatedAt", all required.
struct Draft {
    QUuid id;
    QString body;
    QDateTime createdAt;
    QDateTime updatedAt;

    // The first non-empty line, trimmed, cut to 72 user-perceived characters;
    // "Untitled draft" when the body has no non-empty line.
    QString title() const;

    QJsonObject toJson() const;
    static Draft fromJson(json::Decoder& decoder);

    // A JSON array of drafts; none when the bytes are anything else.
    static std::optional<QList<Draft>> listFromJson(const QByteArray& bytes);
    static QByteArray listToJson(const QList<Draft>& drafts);

    friend bool operator==(const Draft&, const Draft&) = default;
};

} // namespace quillon
