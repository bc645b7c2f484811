#pragma once

#include "core/backend/BackendHttp.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

class QNetworkAccessManager;

namespace quillon {

// Publishes the editor's text as a LinkedIn post: hands the text, the member's access token
// and member ID to the backend as one multipart form, and the backend publishes. Keeps nothing
// between posts; calls come from the thread that created it, and the transfer runs on Qt's
// network thread.
class LinkedInPostService {
public:
    explicit LinkedInPostService(QUrl apiBaseURL,
                                 std::chrono::milliseconds timeout = http::defaultTimeout);
    ~LinkedInPostService();
    LinkedInPostService(const LinkedInPostService&) = delete;
    LinkedInPostService& operator=(const LinkedInPostService&) = delete;

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }

    // Trims `text`, checks the credentials and POSTs the form to "/api/linkedin/post".
    // Throws LinkedInPostError (emptyPost first, then missingAuth, both before anything is
    // sent; server for a refused answer) or NetworkError.
    QCoro::Task<> publish(QString text, std::optional<QString> accessToken,
                          std::optional<QString> memberID);

    // The multipart/form-data body: per field "--boundary", its disposition line, an empty
    // line and the value, each ended by CR LF, then "--boundary--" and CR LF. Names and
    // values are written as UTF-8 without escaping, in the order given.
    static QByteArray makeMultipartBody(const QList<std::pair<QString, QString>>& fields,
                                        const QString& boundary);

    // "Boundary-" and a fresh upper-case UUID.
    static QString makeBoundary();

private:
    const QUrl m_apiBaseURL;
    const std::chrono::milliseconds m_timeout;
    const std::unique_ptr<QNetworkAccessManager> m_network;
};

} // namespace quillon
