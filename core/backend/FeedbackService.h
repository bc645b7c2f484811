#pragma once

#include "core/backend/BackendHttp.h"
#include "core/model/FeedbackImageAttachment.h"
#include "core/model/FeedbackImageLoader.h"
#include "core/model/FeedbackSenderIdentity.h"

#include <QCoroTask>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace quillon {

// Sends the feedback form to the backend as one JSON request, and reads the images the form
// picks for it. Keeps nothing between sends; calls come from the thread that created it, the
// images are read and the body encoded on threads of the service's own (never Qt's global pool,
// which the window's painting waits for) and the transfer runs on Qt's network thread, so large
// or slow images do not hold up the window.
class FeedbackService {
public:
    explicit FeedbackService(
        QUrl apiBaseURL, std::chrono::milliseconds timeout = http::defaultTimeout,
        FeedbackImageLoader::ReadFile readImageFile = FeedbackImageLoader::readImageFile);
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

    // The attachments of the picked files, read off the calling thread.
    QFuture<FeedbackImageLoad> loadAttachments(QStringList files) const {
        return m_imageLoader.load(std::move(files));
    }

    // The request body, compact JSON. Pure; safe on any thread.
    static QByteArray encodeRequest(const QString& title, const QString& message,
                                    const std::optional<FeedbackSenderIdentity>& identity,
                                    const QList<FeedbackImageAttachment>& attachments);

private:
    const QUrl m_apiBaseURL;
    const std::chrono::milliseconds m_timeout;
    const std::unique_ptr<QNetworkAccessManager> m_network;
    const FeedbackImageLoader m_imageLoader;
    // Encoding only computes, so waiting for it when the service goes is bounded.
    QThreadPool m_encoding;
};

} // namespace quillon
