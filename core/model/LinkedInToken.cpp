#include "core/model/LinkedInToken.h"

#include "core/model/JsonCoding.h"

#include <QJsonDocument>

namespace quillon {

QJsonObject LinkedInToken::toJson() const {
    QJsonObject object{{QStringLiteral("accessToken"), accessToken}};
    json::insertIfPresent(object, QStringLiteral("idToken"), idToken);
    json::insertIfPresent(object, QStringLiteral("tokenType"), tokenType);
    json::insertIfPresent(object, QStringLiteral("scope"), scope);
    if (expiresIn) {
        object.insert(QStringLiteral("expiresIn"), *expiresIn);
    }
    object.insert(QStringLiteral("profile"), profile.toJson());
    object.insert(QStringLiteral("connectedAt"), json::formatDate(connectedAt));
    return object;
}

QByteArray LinkedInToken::toJsonBytes() const {
    return json::toBytes(QJsonDocument(toJson()));
}

LinkedInToken LinkedInToken::fromJson(json::Decoder& decoder) {
    LinkedInToken token;
    token.accessToken = decoder.string(QStringLiteral("accessToken"));
    token.idToken = decoder.optionalString(QStringLiteral("idToken"));
    token.tokenType = decoder.optionalString(QStringLiteral("tokenType"));
    token.scope = decoder.optionalString(QStringLiteral("scope"));
    token.expiresIn = decoder.optionalInt64(QStringLiteral("expiresIn"));
    json::Decoder profile = decoder.object(QStringLiteral("profile"));
    token.profile = LinkedInProfile::fromJson(profile);
    decoder.absorb(profile);
    token.connectedAt = decoder.date(QStringLiteral("connectedAt"));
    return token;
}

std::optional<LinkedInToken> LinkedInToken::fromJsonBytes(const QByteArray& bytes, QString* error) {
    json::Decoder decoder = json::Decoder::fromBytes(bytes);
    LinkedInToken token = fromJson(decoder);
    if (!decoder.ok()) {
        if (error) {
            *error = decoder.error();
        }
        return std::nullopt;
    }
    return token;
}

} // namespace quillon
