#include "core/backend/BackendHttp.h"

#include "core/backend/NetworkError.h"
#include "core/model/JsonCoding.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <memory>

using namespace Qt::StringLiterals;

namespace quillon::http {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Qt reports most 4xx and 5xx statuses as reply errors too; those are answers, not failures.
bool errorComesFromStatus(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::AuthenticationRequiredError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

} // namespace

QUrl endpointURL(const QUrl& base, QStringView endpointPath) {
    QString path = base.path(QUrl::FullyEncoded);
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    QStringView tail = endpointPath;
    while (tail.startsWith(u'/')) {
        tail = tail.mid(1);
    }
    QUrl url = base.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    url.setPath(path + u'/' + tail.toString(), QUrl::TolerantMode);
    return url;
}

QNetworkRequest plainRequest(const QUrl& url, std::chrono::milliseconds timeout) {
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    return request;
}

QNetworkRequest postRequest(const QUrl& url, const QByteArray& contentType,
                            std::chrono::milliseconds timeout) {
    QNetworkRequest request = plainRequest(url, timeout);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return request;
}

QCoro::Task<Answer> send(QNetworkAccessManager& network, QNetworkRequest request,
                         std::optional<QByteArray> body) {
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(body ? network.post(request, *body)
                                                                 : network.get(request));
    auto tooLarge = std::make_shared<bool>(false);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(),
                     [r = QPointer<QNetworkReply>(reply.get()), tooLarge] {
                         if (r && !*tooLarge && r->bytesAvailable() > maximumBodySize) {
                             *tooLarge = true;
                             // Queued: aborting finishes the reply, which must not happen
                             // inside its own readyRead.
                             QMetaObject::invokeMethod(r, &QNetworkReply::abort,
                                                       Qt::QueuedConnection);
                         }
                     });
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (*tooLarge && status.isValid()) {
        co_return Answer{status.toInt(), {}, true};
    }
    if (!status.isValid() || (error != QNetworkReply::NoError && !errorComesFromStatus(error))) {
        // Nothing but the transfer timeout cancels a reply here, and Qt words it as a plain
        // cancellation.
        if (error == QNetworkReply::OperationCanceledError) {
            throw NetworkError(QNetworkReply::TimeoutError, u"The request timed out."_s);
        }
        throw NetworkError(error == QNetworkReply::NoError ? QNetworkReply::ProtocolFailure : error,
                           reply->errorString());
    }
    QByteArray answerBody = reply->readAll();
    // On a busy machine Qt can finish a reply whose connection closed in mid-body as if it were
    // whole; a truncated answer is a failed transfer, worded as Qt words the closed connection.
    const QVariant declaredSize = reply->header(QNetworkRequest::ContentLengthHeader);
    if (declaredSize.isValid() && !reply->hasRawHeader("Content-Encoding") &&
        answerBody.size() < declaredSize.toLongLong()) {
        throw NetworkError(QNetworkReply::RemoteHostClosedError, u"Connection closed"_s);
    }
    co_return Answer{status.toInt(), std::move(answerBody), false};
}

std::optional<QString> errorRecordMessage(const QByteArray& body) {
    json::Decoder decoder = json::Decoder::fromBytes(body);
    const QString error = decoder.string(u"error"_s);
    const std::optional<QString> description = decoder.optionalString(u"errorDescription"_s);
    if (!decoder.ok()) {
        return std::nullopt;
    }
    return description.value_or(error);
}

} // namespace quillon::http
