#pragma once

#include "core/backend/BackendHttp.h"
#include "core/model/FeedbackImageAttachment.h"
#include "core/model/FeedbackSenderIdentity.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace quillon {

// Sends the feedback form to the backend as one JSON request. Keeps nothing between sends;
// calls come from the thread that created it, the body is encoded on the thread pool and the
// transfer runs on Qt's network thread, so large images do not hold up the window.
class FeedbackService {
public:
    explicit FeedbackService(QUrl apiBaseURL,
                             std::chrono::milliseconds timeout = http::defaultTimeout);
    ~FeedbackService();
    FeedbackService(const FeedbackService&) = delete;
    FeedbackService& operator=(const FeedbackService&) = delete;

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }

    // Trims title and message and POSTs {"name", "linkedInId", "email", "title", "message",
    // "attachments"} to "/api/feedback"; a missing sender or e-mail is sent as empty text.
    // Throws FeedbackError (emptyMessage before anything is sent; server for a refused
    // answer) or NetworkError.
    QCoro::Task<> send(QString title, QString message,
                       std::optional<FeedbackSenderIdentity> identity,
                       QList<FeedbackImageAttachment> attachments);

    // The request body, compact JSON. Pure; safe on any thread.
    static QByteArray encodeRequest(const QString& title, const QString& message,
                                    const std::optional<FeedbackSenderIdentity>& identity,
                                    const QList<FeedbackImageAttachment>& attachments);

private:
    const QUrl m_apiBaseURL;
    const std::chrono::milliseconds m_timeout;
    const std::unique_ptr<QNetworkAccessManager> m_network;
};

} // namespace quillon
