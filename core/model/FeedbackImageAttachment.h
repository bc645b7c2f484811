#pragma once

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

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

    // The attachments of the picked images, on the thread pool (Base64 of large images takes
    // several frames): numbered by their position in `images`, so an image without data leaves
    // a gap.
    static QFuture<QList<FeedbackImageAttachment>>
    fromImagesInBackground(QList<std::optional<QByteArray>> images);

    friend bool operator==(const FeedbackImageAttachment&,
                           const FeedbackImageAttachment&) = default;
};

} // namespace quillon
