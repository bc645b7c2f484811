#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/tests/LoopbackServer.h"

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testing;

namespace {

std::string png(const QSize& size, const QColor& color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// Holds the answers of "/slow.png" back until opened.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool isOpen = false;

    void open() {
        {
            std::lock_guard lock(mutex);
            isOpen = true;
        }
        changed.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), [this] { return isOpen; });
    }
};

// A picture host: a wide green picture, a red one behind the gate, a 404, a text answer.
struct PictureHost {
    Gate gate;
    std::atomic<int> hits{0};
    std::atomic<int> slowRequests{0};
    std::mutex agentMutex;
    std::string userAgent;
    LoopbackServer server;

    PictureHost() {
        server.http.Get("/wide.png",
                        [this](const httplib::Request& request, httplib::Response& response) {
                            ++hits;
                            {
                                std::lock_guard lock(agentMutex);
                                userAgent = request.get_header_value("User-Agent");
                            }
                            response.set_content(png(QSize(200, 100), Qt::green), "image/png");
                        });
        server.http.Get("/slow.png", [this](const httplib::Request&, httplib::Response& response) {
            ++slowRequests;
            gate.wait();
            response.set_content(png(QSize(50, 50), Qt::red), "image/png");
        });
        server.http.Get("/missing.png",
                        [this](const httplib::Request&, httplib::Response& response) {
                            ++hits;
                            response.status = 404;
                            response.set_content(png(QSize(10, 10), Qt::green), "image/png");
                        });
        server.http.Get("/text", [this](const httplib::Request&, httplib::Response& response) {
            ++hits;
            response.set_content("not an image", "text/plain");
        });
        server.start();
    }
    ~PictureHost() { gate.open(); }
};

QColor pixel(LinkedInProfilePhoto& photo, QPoint at) {
    return photo.grab().toImage().pixelColor(at);
}

bool near(const QColor& a, const QColor& b) {
    return qAbs(a.red() - b.red()) < 8 && qAbs(a.green() - b.green()) < 8 &&
           qAbs(a.blue() - b.blue()) < 8;
}

// A loopback port with nobody listening any more.
int closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

const QPoint topCentre(24, 3);
const QPoint leftSide(7, 24);

} // namespace

class TestLinkedInProfilePhoto : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placeholderTextSize_data() {
        QTest::addColumn<qreal>("size");
        QTest::addColumn<qreal>("fontSize");
        QTest::newRow("preview header") << 48.0 << 20.16;
        QTest::newRow("small circle: lower bound") << 20.0 << 10.0;
        QTest::newRow("large circle") << 100.0 << 42.0;
    }
    void placeholderTextSize() {
        QFETCH(qreal, size);
        QFETCH(qreal, fontSize);
        QCOMPARE(LinkedInProfilePhoto::placeholderFontSize(size), fontSize);
    }

    void theRequestUsesCacheTimeoutAndUserAgent_data() {
        QTest::addColumn<bool>("cached");
        QTest::addColumn<int>("policy");
        QTest::newRow("in the cache: the cache whatever its age")
            << true << int(QNetworkRequest::AlwaysCache);
        QTest::newRow("not in the cache: the network")
            << false << int(QNetworkRequest::PreferCache);
    }
    void theRequestUsesCacheTimeoutAndUserAgent() {
        QFETCH(bool, cached);
        QFETCH(int, policy);
        const QNetworkRequest request =
            LinkedInProfilePhoto::pictureRequest(QUrl(u"https://media.example/p.jpg"_s), cached);
        QCOMPARE(request.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(), policy);
        QCOMPARE(request.transferTimeout(), 12000);
        QCOMPARE(request.rawHeader("User-Agent"), QByteArray("Quillon/1.0"));
        QCOMPARE(request.rawHeaderList(), QList<QByteArray>{"User-Agent"});
    }

    void withoutAnAddressOnlyThePlaceholderShows() {
        LinkedInProfilePhoto photo(48);
        photo.setPictureURL(std::nullopt);
        QVERIFY(photo.picture().isNull());
        QVERIFY(near(pixel(photo, leftSide), LinkedInProfilePhoto::placeholderColor()));
        QVERIFY(near(pixel(photo, topCentre), LinkedInProfilePhoto::placeholderColor()));
        // The corner lies outside the circle.
        QVERIFY(!near(pixel(photo, QPoint(0, 0)), LinkedInProfilePhoto::placeholderColor()));
    }

    void aWidePictureFillsTheCircle() {
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());
        QCOMPARE(photo.picture().size(), QSize(200, 100));
        // Letter-boxing would leave the placeholder above the picture.
        QVERIFY(near(pixel(photo, topCentre), Qt::green));
        QVERIFY(near(pixel(photo, leftSide), Qt::green));
        std::lock_guard lock(host.agentMutex);
        QCOMPARE(host.userAgent, std::string("Quillon/1.0"));
    }

    void failuresPutThePlaceholderBack_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("404 with an image body") << u"/missing.png"_s;
        QTest::newRow("an answer that is not an image") << u"/text"_s;
        QTest::newRow("connection refused") << QString();
    }
    void failuresPutThePlaceholderBack() {
        QFETCH(QString, path);
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());
        QVERIFY(!photo.picture().isNull());

        photo.setPictureURL(path.isEmpty() ? u"http://127.0.0.1:%1/p.png"_s.arg(closedPort())
                                           : host.server.url(path));
        QVERIFY(finished.wait());
        QVERIFY(photo.picture().isNull());
        QVERIFY(near(pixel(photo, topCentre), LinkedInProfilePhoto::placeholderColor()));
    }

    void anAddressThatIsNoURLMakesNoRequest_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << QString(u""_s);
        QTest::newRow("words") << u"not a picture address"_s;
        QTest::newRow("space in the host") << u"http://media .example/p.png"_s;
        QTest::newRow("relative") << u"pictures/p.png"_s;
    }
    void anAddressThatIsNoURLMakesNoRequest() {
        QFETCH(QString, address);
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());
        QCOMPARE(host.hits.load(), 1);

        photo.setPictureURL(address);
        // At once, without a download.
        QVERIFY(photo.picture().isNull());
        QCOMPARE(finished.count(), 1);
    }

    void goingWithoutAnAddressRemovesThePictureAtOnce() {
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());
        photo.setPictureURL(std::nullopt);
        QVERIFY(photo.picture().isNull());
        QCOMPARE(host.hits.load(), 1);
    }

    void aSecondDownloadComesFromTheCache() {
        PictureHost host;
        const QString address = host.server.url(u"/wide.png"_s);
        {
            LinkedInProfilePhoto first(48);
            QSignalSpy finished(&first, &LinkedInProfilePhoto::loadFinished);
            first.setPictureURL(address);
            QVERIFY(finished.wait());
        }
        LinkedInProfilePhoto second(32);
        QSignalSpy finished(&second, &LinkedInProfilePhoto::loadFinished);
        second.setPictureURL(address);
        QVERIFY(finished.wait());
        QCOMPARE(second.picture().size(), QSize(200, 100));
        QCOMPARE(host.hits.load(), 1);
    }

    void theShownPictureStaysUntilTheNextDownloadEnds() {
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());

        photo.setPictureURL(host.server.url(u"/slow.png"_s));
        QTRY_COMPARE(host.slowRequests.load(), 1);
        QCOMPARE(photo.picture().size(), QSize(200, 100));
        host.gate.open();
        QVERIFY(finished.wait());
        QCOMPARE(photo.picture().size(), QSize(50, 50));
        QVERIFY(near(pixel(photo, topCentre), Qt::red));
    }

    void aChangeCancelsTheRunningDownload() {
        PictureHost host;
        LinkedInProfilePhoto photo(48);
        QSignalSpy finished(&photo, &LinkedInProfilePhoto::loadFinished);
        photo.setPictureURL(host.server.url(u"/slow.png"_s));
        QTRY_COMPARE(host.slowRequests.load(), 1);
        photo.setPictureURL(host.server.url(u"/wide.png"_s));
        QVERIFY(finished.wait());
        // Only the second download reported; the first one's late answer changes nothing.
        QCOMPARE(photo.picture().size(), QSize(200, 100));
        host.gate.open();
        QVERIFY(!finished.wait(300));
        QCOMPARE(photo.picture().size(), QSize(200, 100));
    }

    void goingAwayDuringADownloadIsHarmless() {
        PictureHost host;
        auto photo = std::make_unique<LinkedInProfilePhoto>(48);
        photo->setPictureURL(host.server.url(u"/slow.png"_s));
        QTRY_COMPARE(host.slowRequests.load(), 1);
        photo.reset();
        host.gate.open();
        // The aborted reply is cleaned up on the event loop without touching the gone view.
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestLinkedInProfilePhoto)
#include "tst_linkedinprofilephoto.moc"
