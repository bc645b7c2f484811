#include "core/model/LinkedInProfile.h"

#include "core/model/JsonCoding.h"
#include "core/model/UnicodeText.h"

using namespace Qt::StringLiterals;

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
    QJsonObject object{{u"memberId"_s, memberID}, {u"name"_s, name}};
    json::insertIfPresent(object, u"pictureUrl"_s, pictureURL);
    json::insertIfPresent(object, u"email"_s, email);
    json::insertIfPresent(object, u"headline"_s, headline);
    json::insertIfPresent(object, u"localizedHeadline"_s, localizedHeadline);
    return object;
}

LinkedInProfile LinkedInProfile::fromJson(json::Decoder& decoder) {
    LinkedInProfile profile;
    profile.memberID = decoder.string(u"memberId"_s);
    profile.name = decoder.string(u"name"_s);
    profile.pictureURL = decoder.optionalString(u"pictureUrl"_s);
    profile.email = decoder.optionalString(u"email"_s);
    profile.headline = decoder.optionalString(u"headline"_s);
    profile.localizedHeadline = decoder.optionalString(u"localizedHeadline"_s);
    return profile;
}

} // namespace quillon
