#pragma once

#include "core/model/LinkedInProfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace quillon {

// What a successful connection yields and what the keychain keeps. JSON keys are the field
// names; "accessToken", "profile" and "connectedAt" are required, the rest optional.
struct LinkedInToken {
    QString accessToken;
    std::optional<QString> idToken;
    std::optional<QString> tokenType;
    std::optional<QString> scope;
    std::optional<qint64> expiresIn;
    LinkedInProfile profile;
    QDateTime connectedAt;

    QJsonObject toJson() const;
    QByteArray toJsonBytes() const;
    static LinkedInToken fromJson(json::Decoder& decoder);
    // Decodes one token object; none (with the reason in `error`, when given) otherwise.
    static std::optional<LinkedInToken> fromJsonBytes(const QByteArray& bytes,
                                                      QString* error = nullptr);

    friend bool operator==(const LinkedInToken&, const LinkedInToken&) = default;
};

} // namespace quillon
