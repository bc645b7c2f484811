#include "core/model/FeedbackImageAttachment.h"

namespace quillon {

FeedbackImageAttachment FeedbackImageAttachment::fromImageData(int position,
                                                               const QByteArray& imageData) {
    return {QUuid::createUuid(), QStringLiteral("feedback-%1.jpg").arg(position),
            imageData.toBase64()};
}

} // namespace quillon
