#include "core/model/FeedbackImageAttachment.h"

#include <QtConcurrent/QtConcurrentRun>

namespace quillon {

FeedbackImageAttachment FeedbackImageAttachment::fromImageData(int position,
                                                               const QByteArray& imageData) {
    return {QUuid::createUuid(), QStringLiteral("feedback-%1.jpg").arg(position),
            imageData.toBase64()};
}

QFuture<QList<FeedbackImageAttachment>>
FeedbackImageAttachment::fromImagesInBackground(QList<std::optional<QByteArray>> images) {
    return QtConcurrent::run([images = std::move(images)] {
        QList<FeedbackImageAttachment> attachments;
        for (qsizetype i = 0; i < images.size(); ++i) {
            if (images[i]) {
                attachments.append(fromImageData(int(i + 1), *images[i]));
            }
        }
        return attachments;
    });
}

} // namespace quillon
