#include "FeedbackImageAttachment.h"

namespace quillon {

FeedbackImageAttachment FeedbackImageAttachment::fromImageData(int position,
                                                               const QByteArray& imageData)
{
    return {QUuid::createUuid(), QStringLiteral("feedback-%1.jpg").arg(position),
            imageData.toBase64()};
}

QJsonObject FeedbackImageAttachment::toJson() const
{
    return {{QStringLiteral("filename"), filename},
            {QStringLiteral("content"), QLatin1StringView(content)}};
}

} // namespace quillon
