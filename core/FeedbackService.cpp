#include "FeedbackService.h"

#include "BackendHttp.h"
#include "FeedbackError.h"
#include "UnicodeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace quillon {

FeedbackService::FeedbackService(QUrl apiBaseURL, std::chrono::milliseconds timeout)
    : m_apiBaseURL(std::move(apiBaseURL))
    , m_timeout(timeout)
    , m_network(std::make_unique<QNetworkAccessManager>())
{
}

FeedbackService::~FeedbackService() = default;

QByteArray FeedbackService::encodeRequest(const QString& title, const QString& message,
                                          const std::optional<FeedbackSenderIdentity>& identity,
                                          const QList<FeedbackImageAttachment>& attachments)
{
    QJsonArray encodedAttachments;
    for (const FeedbackImageAttachment& attachment : attachments) {
        encodedAttachments.append(attachment.toJson());
    }
    const QJsonObject request{
        {QStringLiteral("name"), identity ? identity->name : QString()},
        {QStringLiteral("linkedInId"), identity ? identity->linkedInID : QString()},
        {QStringLiteral("email"), identity ? identity->email.value_or(QString()) : QString()},
        {QStringLiteral("title"), unicode::trimmedWhitespaceAndNewlines(title)},
        {QStringLiteral("message"), unicode::trimmedWhitespaceAndNewlines(message)},
        {QStringLiteral("attachments"), encodedAttachments},
    };
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

QCoro::Task<> FeedbackService::send(QString title, QString message,
                                    std::optional<FeedbackSenderIdentity> identity,
                                    QList<FeedbackImageAttachment> attachments)
{
    if (unicode::trimmedWhitespaceAndNewlines(message).isEmpty()) {
        throw FeedbackError::emptyMessage();
    }
    const QNetworkRequest request = http::postRequest(
        http::endpointURL(m_apiBaseURL, u"/api/feedback"), "application/json", m_timeout);
    // Every awaited operation is made first and then awaited: GCC 12 can destroy temporaries
    // of a co_await expression twice.
    const QFuture<QByteArray> encoding = QtConcurrent::run(
        [title = std::move(title), message = std::move(message), identity = std::move(identity),
         attachments = std::move(attachments)] {
            return encodeRequest(title, message, identity, attachments);
        });
    const QByteArray body = co_await encoding;

    const QCoro::Task<http::Answer> sending = http::send(*m_network, request, body);
    const http::Answer answer = co_await sending;
    if (!answer.accepted()) {
        throw FeedbackError::server(http::errorRecordMessage(answer.body)
                                        .value_or(QStringLiteral("Feedback send failed.")));
    }
}

} // namespace quillon
