#include "ui/kit/LinkedInProfilePhoto.h"

#include "ui/kit/SharedNetworkAccess.h"

#include <QAbstractNetworkCache>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <cmath>

using namespace Qt::StringLiterals;

namespace quillon {

LinkedInProfilePhoto::LinkedInProfilePhoto(qreal size, QWidget* parent,
                                           QNetworkAccessManager* network)
    : QWidget(parent)
    , m_size(size)
    , m_network(network ? network : &sharedNetworkAccess()) {
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
}

LinkedInProfilePhoto::~LinkedInProfilePhoto() {
    abortDownload();
}

QColor LinkedInProfilePhoto::placeholderColor() {
    return QColor::fromRgbF(0.039f, 0.4f, 0.761f, 1.0f);
}

qreal LinkedInProfilePhoto::placeholderFontSize(qreal size) {
    return std::max<qreal>(10, 0.42 * size);
}

QNetworkRequest LinkedInProfilePhoto::pictureRequest(const QUrl& url, bool cached) {
    QNetworkRequest request(url);
    // PreferCache alone goes back to the server once an entry is stale; a picture that was
    // downloaded once is good enough whatever its age.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         cached ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferCache);
    request.setTransferTimeout(timeoutMilliseconds);
    request.setHeader(QNetworkRequest::UserAgentHeader, u"Quillon/1.0"_s);
    return request;
}

QSize LinkedInProfilePhoto::sizeHint() const {
    return size();
}

void LinkedInProfilePhoto::setPictureURL(const std::optional<QString>& pictureURL) {
    if (m_pictureURL == pictureURL) {
        return;
    }
    m_pictureURL = pictureURL;
    loadPicture();
}

void LinkedInProfilePhoto::abortDownload() {
    if (QNetworkReply* running = m_reply) {
        m_reply = nullptr;
        running->disconnect(this);
        running->abort();
        running->deleteLater();
    }
}

void LinkedInProfilePhoto::loadPicture() {
    if (m_reply) {
        // A cancelled download counts as failed and clears the picture.
        abortDownload();
        setPicture({});
    }
    // An empty address makes an invalid URL.
    const QUrl url = m_pictureURL ? QUrl(*m_pictureURL, QUrl::StrictMode) : QUrl();
    if (!url.isValid() || url.isRelative()) {
        setPicture({});
        return;
    }
    QAbstractNetworkCache* cache = m_network->cache();
    const bool cached = cache && cache->metaData(url).isValid();
    QNetworkReply* reply = m_network->get(pictureRequest(url, cached));
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finishLoading(reply); });
}

void LinkedInProfilePhoto::finishLoading(QNetworkReply* reply) {
    reply->deleteLater();
    if (m_reply == reply) {
        m_reply = nullptr;
    }
    QImage image;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::NoError && status.isValid()) {
        const int code = status.toInt();
        if (code >= 200 && code <= 299) {
            image.loadFromData(reply->readAll());
        }
    }
    setPicture(std::move(image));
    Q_EMIT loadFinished();
}

void LinkedInProfilePhoto::setPicture(QImage picture) {
    m_picture = std::move(picture);
    update();
}

void LinkedInProfilePhoto::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF circle(0, 0, m_size, m_size);
    QPainterPath clip;
    clip.addEllipse(circle);
    painter.setClipPath(clip);

    painter.fillPath(clip, placeholderColor());
    QFont inFont = font();
    inFont.setPixelSize(qMax(1, qRound(placeholderFontSize(m_size))));
    inFont.setBold(true);
    painter.setFont(inFont);
    painter.setPen(Qt::white);
    painter.drawText(circle, Qt::AlignCenter, u"in"_s);

    if (!m_picture.isNull()) {
        // Fill the circle and cut the overflow rather than letter-box the picture.
        const QSizeF scaled =
            QSizeF(m_picture.size()).scaled(circle.size(), Qt::KeepAspectRatioByExpanding);
        const QRectF target(circle.center().x() - scaled.width() / 2,
                            circle.center().y() - scaled.height() / 2, scaled.width(),
                            scaled.height());
        painter.drawImage(target, m_picture);
    }
}

} // namespace quillon
