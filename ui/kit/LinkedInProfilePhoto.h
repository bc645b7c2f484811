#pragma once

#include <QImage>
#include <QNetworkRequest>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace quillon {

// The connected member's LinkedIn picture in a circle, over a blue "in" placeholder that
// shows until, and unless, the picture has been downloaded. Every failure leaves the
// placeholder; nothing is reported.
class LinkedInProfilePhoto : public QWidget {
    Q_OBJECT

public:
    static constexpr int timeoutMilliseconds = 12000;

    // Without a manager the shared one (with its disk cache) is used.
    explicit LinkedInProfilePhoto(qreal size, QWidget* parent = nullptr,
                                  QNetworkAccessManager* network = nullptr);
    ~LinkedInProfilePhoto() override;

    static QColor placeholderColor();
    // max(10, 0.42 x size): the "in" stays readable in small circles.
    static qreal placeholderFontSize(qreal size);
    // The picture's GET: 12 s, our user agent, and the cache alone when it holds the picture,
    // whatever its age (`cached`), else the network.
    static QNetworkRequest pictureRequest(const QUrl& url, bool cached);

    qreal diameter() const { return m_size; }
    const std::optional<QString>& pictureURL() const { return m_pictureURL; }
    // Starts a new download when the address changes, cancelling a running one.
    void setPictureURL(const std::optional<QString>& pictureURL);

    // The downloaded picture; null while the placeholder shows.
    const QImage& picture() const { return m_picture; }

    QSize sizeHint() const override;

Q_SIGNALS:
    // A download ended, whatever its outcome.
    void loadFinished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void loadPicture();
    void abortDownload();
    void finishLoading(QNetworkReply* reply);
    void setPicture(QImage picture);

    const qreal m_size;
    QNetworkAccessManager* m_network;
    std::optional<QString> m_pictureURL;
    QImage m_picture;
    QPointer<QNetworkReply> m_reply;
};

} // namespace quillon
