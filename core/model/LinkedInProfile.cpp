#include "core/model/LinkedInProfile.h"

#include "core/model/JsonCoding.h"
#include "core/model/UnicodeText.h"

namespace quillon {

std::optional<QString> LinkedInProfile::displayHeadline() const {
    for (const auto& candidate : {localizedHeadline, headline}) {
        if (candidate) {
            QString trimmed = unicode::trimmedWhitespaceAndNewlines(*candidate);
            if (!trimmed.isEmpty()) {
                return trimmed;
            }
        }
    }
    return std::nullopt;
}

QJsonObject LinkedInProfile::toJson() const {
    QJsonObject object{{QStringLiteral("memberId"), memberID}, {QStringLiteral("name"), name}};
    json::insertIfPresent(object, QStringLiteral("pictureUrl"), pictureURL);
    json::insertIfPresent(object, QStringLiteral("email"), email);
    json::insertIfPresent(object, QStringLiteral("headline"), headline);
    json::insertIfPresent(object, QStringLiteral("localizedHeadline"), localizedHeadline);
    return object;
}

LinkedInProfile LinkedInProfile::fromJson(json::Decoder& decoder) {
    LinkedInProfile profile;
    profile.memberID = decoder.string(QStringLiteral("memberId"));
    profile.name = decoder.string(QStringLiteral("name"));
    profile.pictureURL = decoder.optionalString(QStringLiteral("pictureUrl"));
    profile.email = decoder.optionalString(QStringLiteral("email"));
    profile.headline = decoder.optionalString(QStringLiteral("headline"));
    profile.localizedHeadline = decoder.optionalString(QStringLiteral("localizedHeadline"));
    return profile;
}

} // namespace quillon
