#pragma once

#include <QString>
#include <optional>

namespace quillon {

// Who sends feedback: taken from the connected member's profile.
struct FeedbackSenderIdentity {
    QString name;
    QString linkedInID;
    std::optional<QString> email;

    friend bool operator==(const FeedbackSenderIdentity&, const FeedbackSenderIdentity&) = default;
};

} // namespace quillon
