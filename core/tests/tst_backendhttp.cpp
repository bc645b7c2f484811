#include "core/backend/BackendHttp.h"
#include "core/backend/NetworkError.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TaskOutcome.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;
using Answer = ScriptedServer::Answer;

Q_DECLARE_METATYPE(ScriptedServer::Answer)

namespace {

// Finishes the way Qt 6.4 at times finishes a reply whose connection closed in mid-body when
// the machine is busy: no error, status 200, and the body's declared length with fewer bytes.
class FinishedReply : public QNetworkReply {
public:
    FinishedReply(const QNetworkRequest& request, QByteArray body, qint64 declaredSize,
                  QObject* parent)
        : QNetworkReply(parent)
        , m_body(std::move(body)) {
        setRequest(request);
        setUrl(request.url());
        setOperation(QNetworkAccessManager::PostOperation);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        setHeader(QNetworkRequest::ContentLengthHeader, declaredSize);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QMetaObject::invokeMethod(
            this,
            [this] {
                Q_EMIT metaDataChanged();
                Q_EMIT readyRead();
                setFinished(true);
                Q_EMIT finished();
            },
            Qt::QueuedConnection);
    }
    void abort() override {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return m_body.size() - m_read + QNetworkReply::bytesAvailable();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 count = std::min(maxSize, m_body.size() - m_read);
        std::copy_n(m_body.constData() + m_read, count, data);
        m_read += count;
        return count;
    }

private:
    QByteArray m_body;
    qint64 m_read = 0;
};

// Answers every request with a FinishedReply.
class FinishingNetwork : public QNetworkAccessManager {
public:
    FinishingNetwork(QByteArray body, qint64 declaredSize)
        : m_body(std::move(body))
        , m_declaredSize(declaredSize) {}

protected:
    QNetworkReply* createRequest(Operation, const QNetworkRequest& request, QIODevice*) override {
        return new FinishedReply(request, m_body, m_declaredSize, this);
    }

private:
    QByteArray m_body;
    qint64 m_declaredSize;
};

} // namespace

class TestBackendHttp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endpointURL_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("url");

        QTest::newRow("no path") << u"http://127.0.0.1:8787"_s
                                 << u"http://127.0.0.1:8787/api/feedback"_s;
        QTest::newRow("root") << u"https://api.example.com/"_s
                              << u"https://api.example.com/api/feedback"_s;
        QTest::newRow("own path") << u"https://example.com/backend"_s
                                  << u"https://example.com/backend/api/feedback"_s;
        QTest::newRow("own path, trailing slash")
            << u"https://example.com/a/b/"_s << u"https://example.com/a/b/api/feedback"_s;
        QTest::newRow("encoded path")
            << u"https://example.com/my%20app"_s << u"https://example.com/my%20app/api/feedback"_s;
        QTest::newRow("query dropped")
            << u"https://example.com/x?debug=1"_s << u"https://example.com/x/api/feedback"_s;
    }

    void endpointURL() {
        QFETCH(QString, base);
        QFETCH(QString, url);
        QCOMPARE(http::endpointURL(QUrl(base), u"/api/feedback").toString(QUrl::FullyEncoded), url);
    }

    void errorRecordMessage_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<QString>>("message");

        QTest::newRow("both") << QByteArray(R"({"error":"e","errorDescription":"Described."})")
                              << std::optional<QString>(u"Described."_s);
        QTest::newRow("error only")
            << QByteArray(R"({"error":"e","other":1})") << std::optional<QString>(u"e"_s);
        QTest::newRow("null description") << QByteArray(R"({"error":"e","errorDescription":null})")
                                          << std::optional<QString>(u"e"_s);
        QTest::newRow("empty description") << QByteArray(R"({"error":"e","errorDescription":""})")
                                           << std::optional<QString>(QString());
        QTest::newRow("description only")
            << QByteArray(R"({"errorDescription":"d"})") << std::optional<QString>();
        QTest::newRow("error not text")
            << QByteArray(R"({"error":404})") << std::optional<QString>();
        QTest::newRow("description not text")
            << QByteArray(R"({"error":"e","errorDescription":[]})") << std::optional<QString>();
        QTest::newRow("array") << QByteArray(R"([{"error":"e"}])") << std::optional<QString>();
        QTest::newRow("not JSON") << QByteArray("Bad Gateway") << std::optional<QString>();
        QTest::newRow("empty") << QByteArray() << std::optional<QString>();
    }

    void errorRecordMessage() {
        QFETCH(QByteArray, body);
        QFETCH(std::optional<QString>, message);
        QCOMPARE(http::errorRecordMessage(body), message);
    }

    void answers_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("tooLarge");

        QTest::newRow("401 is an answer") << Answer::json(401, R"({"error":"x"})") << 401
                                          << QByteArray(R"({"error":"x"})") << false;
        QTest::newRow("400 is an answer")
            << Answer::json(400, "{}") << 400 << QByteArray("{}") << false;
        QTest::newRow("503 is an answer")
            << Answer::text(503, "down") << 503 << QByteArray("down") << false;
        QTest::newRow("huge 500 body")
            << Answer::huge(500, 64 * 1024 * 1024) << 500 << QByteArray() << true;
    }

    void answers() {
        QFETCH(Answer, answer);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, tooLarge);
        ScriptedServer server;
        server.script("/x", {answer});
        QNetworkAccessManager network;

        const auto outcome = awaitOutcome(
            http::send(network, http::plainRequest(server.baseURL().resolved(QUrl(u"/x"_s)),
                                                   http::defaultTimeout)));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        QCOMPARE(outcome.value->status, status);
        QCOMPARE(outcome.value->body, body);
        QCOMPARE(outcome.value->bodyTooLarge, tooLarge);
    }

    void failuresOfTheHttpClient_data() {
        QTest::addColumn<std::optional<Answer>>("answer");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");

        QTest::newRow("nobody listening")
            << std::optional<Answer>() << int(QNetworkReply::ConnectionRefusedError)
            << u"Connection refused"_s;
        QTest::newRow("connection dropped")
            << std::optional<Answer>(Answer::dropConnection())
            << int(QNetworkReply::RemoteHostClosedError) << u"Connection closed"_s;
        QTest::newRow("no answer in time")
            << std::optional<Answer>(Answer::hang()) << int(QNetworkReply::TimeoutError)
            << u"The request timed out."_s;
        QTest::newRow("redirect to another scheme")
            << std::optional<Answer>(Answer::redirect(302, "quillon://elsewhere/x"))
            << int(QNetworkReply::ProtocolUnknownError) << u"Unknown protocol specified"_s;
    }

    void failuresOfTheHttpClient() {
        QFETCH(std::optional<Answer>, answer);
        QFETCH(int, code);
        QFETCH(QString, description);
        ScriptedServer server;
        QUrl url = server.baseURL().resolved(QUrl(u"/x"_s));
        if (!answer) {
            // A port that was just free: listened on, then closed.
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            url.setPort(probe.serverPort());
            probe.close();
        } else {
            server.script("/x", {*answer});
        }
        QNetworkAccessManager network;

        const auto outcome = awaitOutcome(http::send(
            network, http::postRequest(url, "application/json", std::chrono::milliseconds(300)),
            QByteArray("{}")));
        QVERIFY(outcome.finished);
        const auto error = outcome.errorAs<NetworkError>();
        QVERIFY2(error, qPrintable(outcome.description()));
        QCOMPARE(int(error->code()), code);
        QCOMPARE(error->description(), description);
    }

    void anAnswerShorterThanItsLengthIsAFailure_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("declaredSize");
        QTest::addColumn<bool>("failed");
        QTest::newRow("cut short") << QByteArray(R"({"a":)") << qint64(1024) << true;
        QTest::newRow("nothing of it") << QByteArray() << qint64(1024) << true;
        QTest::newRow("whole") << QByteArray(R"({"a":1})") << qint64(7) << false;
    }
    void anAnswerShorterThanItsLengthIsAFailure() {
        QFETCH(QByteArray, body);
        QFETCH(qint64, declaredSize);
        QFETCH(bool, failed);
        FinishingNetwork network(body, declaredSize);
        const auto outcome =
            awaitOutcome(http::send(network,
                                    http::postRequest(QUrl(u"http://127.0.0.1:9/x"_s),
                                                      "application/json", http::defaultTimeout),
                                    QByteArray("{}")));
        QVERIFY(outcome.finished);
        if (!failed) {
            QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
            QCOMPARE(outcome.value->body, body);
            return;
        }
        const auto error = outcome.errorAs<NetworkError>();
        QVERIFY2(error, qPrintable(outcome.description()));
        QCOMPARE(int(error->code()), int(QNetworkReply::RemoteHostClosedError));
        QCOMPARE(error->description(), u"Connection closed"_s);
    }
};

QTEST_GUILESS_MAIN(TestBackendHttp)
#include "tst_backendhttp.moc"
