#include "core/model/FeedbackImageAttachment.h"

using namespace Qt::StringLiterals;

namespace quillon {

FeedbackImageAttachment FeedbackImageAttachment::fromImageData(int position,
                                                               const QByteArray& imageData) {
    return {QUuid::createUuid(), u"feedback-%1.jpg"_s.arg(position), imageData.toBase64()};
}

} // namespace quillon
