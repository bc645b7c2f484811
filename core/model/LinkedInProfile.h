#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace quillon {

namespace json {
class Decoder;
}

// The connected LinkedIn member. JSON keys "memberId", "name" (required), "pictureUrl",
// "email", "headline", "localizedHeadline" (missing or null means none; omitted when none).
struct LinkedInProfile {
    QString memberID;
    QString name;
    std::optional<QString> pictureURL;
    std::optional<QString> email;
    std::optional<QString> headline;
    std::optional<QString> localizedHeadline;

    // The localized headline, else the headline, trimmed; none when both are blank.
    std::optional<QString> displayHeadline() const;

    QJsonObject toJson() const;
    static LinkedInProfile fromJson(json::Decoder& decoder);

    friend bool operator==(const LinkedInProfile&, const LinkedInProfile&) = default;
};

} // namespace quillon
