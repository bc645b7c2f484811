#include "crashreporting/EnvelopeUploader.h"

#include "crashreporting/SentryEnvelope.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <memory>
#include <qcoro/qcoronetworkreply.h>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

enum class Outcome { delivered, dropped, keep };

Outcome classify(int status) {
    if (status >= 200 && status <= 299) {
        return Outcome::delivered;
    }
    // 429 asks to come back later; other 4xx will never be taken.
    if (status >= 400 && status <= 499 && status != 429) {
        return Outcome::dropped;
    }
    return Outcome::keep;
}

} // namespace

EnvelopeUploader::EnvelopeUploader(QString folder, SentryDsn dsn, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_dsn(std::move(dsn)) {}

EnvelopeUploader::~EnvelopeUploader() = default;

void EnvelopeUploader::uploadPending() {
    if (m_running) {
        m_again = true;
        return;
    }
    run();
}

QCoro::Task<> EnvelopeUploader::run() {
    m_running = true;
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    do {
        m_again = false;
        const QFileInfoList files = QDir(m_folder).entryInfoList({u"*.envelope"_s}, QDir::Files,
                                                                 QDir::Time | QDir::Reversed);
        for (const QFileInfo& info : files) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const auto body = envelope::withSentAt(file.readAll(), QDateTime::currentDateTimeUtc());
            file.close();
            if (!body) {
                // No server would take it, now or later.
                QFile::remove(info.filePath());
                continue;
            }
            QNetworkRequest request(m_dsn.envelopeEndpoint);
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/x-sentry-envelope"));
            request.setRawHeader("X-Sentry-Auth",
                                 m_dsn.authHeader(QString::fromLatin1(clientName)));
            request.setTransferTimeout(30000);
            std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
                m_network->post(request, *body), [](QNetworkReply* r) { r->deleteLater(); });
            co_await reply.get();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const Outcome outcome = classify(status);
            if (outcome == Outcome::keep) {
                // The server or the network is in trouble; the rest would fare no better.
                m_again = false;
                break;
            }
            QFile::remove(info.filePath());
        }
    } while (m_again);
    m_running = false;
    Q_EMIT finished();
}

} // namespace quillon
