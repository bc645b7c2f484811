#include "core/backend/FeedbackService.h"

#include "core/backend/BackendHttp.h"
#include "core/backend/FeedbackError.h"
#include "core/model/JsonCoding.h"
#include "core/model/UnicodeText.h"

#include <QCoroFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quillon {

FeedbackService::FeedbackService(QUrl apiBaseURL, std::chrono::milliseconds timeout,
                                 FeedbackImageLoader::ReadFile readImageFile)
    : m_apiBaseURL(std::move(apiBaseURL))
    , m_timeout(timeout)
    , m_network(std::make_unique<QNetworkAccessManager>())
    , m_imageLoader(std::move(readImageFile)) {
    m_encoding.setObjectName(u"FeedbackService"_s);
}

FeedbackService::~FeedbackService() = default;

namespace {

bool isBase64Text(const QByteArray& content) {
    return std::all_of(content.begin(), content.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '+' || c == '/' || c == '=';
    });
}

} // namespace

QByteArray FeedbackService::encodeRequest(const QString& title, const QString& message,
                                          const std::optional<FeedbackSenderIdentity>& identity,
                                          const QList<FeedbackImageAttachment>& attachments) {
    const QJsonObject texts{
        {u"name"_s, identity ? identity->name : QString()},
        {u"linkedInId"_s, identity ? identity->linkedInID : QString()},
        {u"email"_s, identity ? identity->email.value_or(QString()) : QString()},
        {u"title"_s, unicode::trimmedWhitespaceAndNewlines(title)},
        {u"message"_s, unicode::trimmedWhitespaceAndNewlines(message)},
    };
    // The images go straight into the body: through QJsonObject each one would be held twice
    // more, once as UTF-16, which for five large images is hundreds of megabytes.
    qsizetype size = 64;
    for (const FeedbackImageAttachment& attachment : attachments) {
        size += attachment.content.size() + attachment.filename.size() + 32;
    }
    QByteArray body = QJsonDocument(texts).toJson(QJsonDocument::Compact);
    body.reserve(body.size() + size);
    body.chop(1);
    body += ",\"attachments\":[";
    for (qsizetype i = 0; i < attachments.size(); ++i) {
        const FeedbackImageAttachment& attachment = attachments[i];
        body += i == 0 ? "{\"filename\":" : ",{\"filename\":";
        body += json::quoted(attachment.filename);
        body += ",\"content\":";
        if (isBase64Text(attachment.content)) {
            body += '"';
            body += attachment.content;
            body += '"';
        } else {
            body += json::quoted(QString::fromLatin1(attachment.content));
        }
        body += '}';
    }
    body += "]}";
    return body;
}

QCoro::Task<> FeedbackService::send(QString title, QString message,
                                    std::optional<FeedbackSenderIdentity> identity,
                                    QList<FeedbackImageAttachment> attachments) {
    if (unicode::trimmedWhitespaceAndNewlines(message).isEmpty()) {
        throw FeedbackError::emptyMessage();
    }
    const QNetworkRequest request = http::postRequest(
        http::endpointURL(m_apiBaseURL, u"/api/feedback"), "application/json", m_timeout);
    // Every awaited operation is made first and then awaited: GCC 12 can destroy temporaries
    // of a co_await expression twice.
    const QFuture<QByteArray> encoding = QtConcurrent::run(
        &m_encoding, [title = std::move(title), message = std::move(message),
                      identity = std::move(identity), attachments = std::move(attachments)] {
            return encodeRequest(title, message, identity, attachments);
        });
    const QByteArray body = co_await encoding;

    const QCoro::Task<http::Answer> sending = http::send(*m_network, request, body);
    const http::Answer answer = co_await sending;
    if (!answer.accepted()) {
        throw FeedbackError::server(
            http::errorRecordMessage(answer.body).value_or(u"Feedback send failed."_s));
    }
}

} // namespace quillon
