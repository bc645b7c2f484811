#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

namespace quillon {

// One picked image sent with feedback, as {"filename", "content"}; `id` is never sent. The Base64
// text is ASCII and kept as bytes, so five large images are not doubled in memory as UTF-16.
struct FeedbackImageAttachment {
    QUuid id;
    QString filename;
    QByteArray content;

    // "feedback-<position>.jpg" with the image bytes, unchanged, in standard Base64 without
    // line breaks, under a fresh id. `position` counts from 1.
    static FeedbackImageAttachment fromImageData(int position, const QByteArray& imageData);

    friend bool operator==(const FeedbackImageAttachment&,
                           const FeedbackImageAttachment&) = default;
};

} // namespace quillon
