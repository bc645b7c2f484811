#include "core/backend/LinkedInPostService.h"

#include "core/backend/BackendHttp.h"
#include "core/backend/LinkedInPostError.h"
#include "core/model/UnicodeText.h"

#include <QNetworkAccessManager>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace quillon {

LinkedInPostService::LinkedInPostService(QUrl apiBaseURL, std::chrono::milliseconds timeout)
    : m_apiBaseURL(std::move(apiBaseURL))
    , m_timeout(timeout)
    , m_network(std::make_unique<QNetworkAccessManager>()) {}

LinkedInPostService::~LinkedInPostService() = default;

QString LinkedInPostService::makeBoundary() {
    return u"Boundary-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray LinkedInPostService::makeMultipartBody(const QList<std::pair<QString, QString>>& fields,
                                                  const QString& boundary) {
    const QByteArray delimiter = "--" + boundary.toUtf8();
    QByteArray body;
    for (const auto& [name, value] : fields) {
        body += delimiter + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + name.toUtf8() + "\"\r\n\r\n";
        body += value.toUtf8() + "\r\n";
    }
    body += delimiter + "--\r\n";
    return body;
}

QCoro::Task<> LinkedInPostService::publish(QString text, std::optional<QString> accessToken,
                                           std::optional<QString> memberID) {
    const QString commentary = unicode::trimmedWhitespaceAndNewlines(text);
    if (commentary.isEmpty()) {
        throw LinkedInPostError::emptyPost();
    }
    if (!accessToken || accessToken->isEmpty() || !memberID || memberID->isEmpty()) {
        throw LinkedInPostError::missingAuth();
    }
    const QString boundary = makeBoundary();
    const QNetworkRequest request =
        http::postRequest(http::endpointURL(m_apiBaseURL, u"/api/linkedin/post"),
                          "multipart/form-data; boundary=" + boundary.toUtf8(), m_timeout);
    const QByteArray body = makeMultipartBody({{u"accessToken"_s, *accessToken},
                                               {u"memberId"_s, *memberID},
                                               {u"commentary"_s, commentary}},
                                              boundary);

    // Made first, then awaited: GCC 12 can destroy temporaries of a co_await expression twice.
    const QCoro::Task<http::Answer> sending = http::send(*m_network, request, body);
    const http::Answer answer = co_await sending;
    if (!answer.accepted()) {
        throw LinkedInPostError::server(
            http::errorRecordMessage(answer.body).value_or(u"LinkedIn post failed."_s));
    }
}

} // namespace quillon
