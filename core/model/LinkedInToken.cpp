#include "core/model/LinkedInToken.h"

#include "core/model/JsonCoding.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace quillon {

QJsonObject LinkedInToken::toJson() const {
    QJsonObject object{{u"accessToken"_s, accessToken}};
    json::insertIfPresent(object, u"idToken"_s, idToken);
    json::insertIfPresent(object, u"tokenType"_s, tokenType);
    json::insertIfPresent(object, u"scope"_s, scope);
    if (expiresIn) {
        object.insert(u"expiresIn"_s, *expiresIn);
    }
    object.insert(u"profile"_s, profile.toJson());
    object.insert(u"connectedAt"_s, json::formatDate(connectedAt));
    return object;
}

QByteArray LinkedInToken::toJsonBytes() const {
    return json::toBytes(QJsonDocument(toJson()));
}

LinkedInToken LinkedInToken::fromJson(json::Decoder& decoder) {
    LinkedInToken token;
    token.accessToken = decoder.string(u"accessToken"_s);
    token.idToken = decoder.optionalString(u"idToken"_s);
    token.tokenType = decoder.optionalString(u"tokenType"_s);
    token.scope = decoder.optionalString(u"scope"_s);
    token.expiresIn = decoder.optionalInt64(u"expiresIn"_s);
    json::Decoder profile = decoder.object(u"profile"_s);
    token.profile = LinkedInProfile::fromJson(profile);
    decoder.absorb(profile);
    token.connectedAt = decoder.date(u"connectedAt"_s);
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
