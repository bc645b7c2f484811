#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <QString>
#include <QStringView>
#include <QUrl>
#include <chrono>
#include <optional>

class QNetworkAccessManager;

// What the three backend clients share about talking HTTP to the backend: forming addresses,
// the two shapes of request, reading an answer, and the backend's error record. Each client
// judges the answer and picks its own messages.
namespace quillon::http {

// Answers larger than this are not read: nothing the clients decode comes near it, and a
// runaway body must not take the app's memory with it.
constexpr qint64 maximumBodySize = 4 * 1024 * 1024;

constexpr std::chrono::milliseconds defaultTimeout = std::chrono::seconds(60);

// `base` with `endpointPath` added as further path: the base's own path stays in front, and
// exactly one "/" separates the two. Query and fragment of the base are dropped.
QUrl endpointURL(const QUrl& base, QStringView endpointPath);

// A GET made from the address alone: no header, no body.
QNetworkRequest plainRequest(const QUrl& url, std::chrono::milliseconds timeout);
// A POST request whose only header is "Content-Type".
QNetworkRequest postRequest(const QUrl& url, const QByteArray& contentType,
                            std::chrono::milliseconds timeout);

struct Answer {
    int status = 0;
    QByteArray body;
    // The body was larger than maximumBodySize and was dropped unread.
    bool bodyTooLarge = false;

    bool accepted() const { return status >= 200 && status <= 299; }
};

// Sends `request` (a POST of `body` when given, else a GET) and waits for the whole answer.
// Any HTTP status is an answer; a failure of the HTTP client itself throws NetworkError.
QCoro::Task<Answer> send(QNetworkAccessManager& network, QNetworkRequest request,
                         std::optional<QByteArray> body = std::nullopt);

// The message of the backend's error record {"error", "errorDescription"}: the description
// when present and not null (even when empty), else the error. None when `body` is no such
// record (not JSON, no "error", a value of the wrong type).
std::optional<QString> errorRecordMessage(const QByteArray& body);

} // namespace quillon::http
