#include "core/backend/BackendHttp.h"
#include "core/backend/NetworkError.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TaskOutcome.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>

using namespace quillon;
using namespace quillon::testsupport;
using Answer = ScriptedServer::Answer;

Q_DECLARE_METATYPE(ScriptedServer::Answer)

class TestBackendHttp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endpointURL_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("url");

        QTest::newRow("no path") << u"http://127.0.0.1:8787"_qs
                                 << u"http://127.0.0.1:8787/api/feedback"_qs;
        QTest::newRow("root") << u"https://api.example.com/"_qs
                              << u"https://api.example.com/api/feedback"_qs;
        QTest::newRow("own path") << u"https://example.com/backend"_qs
                                  << u"https://example.com/backend/api/feedback"_qs;
        QTest::newRow("own path, trailing slash")
            << u"https://example.com/a/b/"_qs << u"https://example.com/a/b/api/feedback"_qs;
        QTest::newRow("encoded path") << u"https://example.com/my%20app"_qs
                                      << u"https://example.com/my%20app/api/feedback"_qs;
        QTest::newRow("query dropped")
            << u"https://example.com/x?debug=1"_qs << u"https://example.com/x/api/feedback"_qs;
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
                              << std::optional<QString>(u"Described."_qs);
        QTest::newRow("error only")
            << QByteArray(R"({"error":"e","other":1})") << std::optional<QString>(u"e"_qs);
        QTest::newRow("null description") << QByteArray(R"({"error":"e","errorDescription":null})")
                                          << std::optional<QString>(u"e"_qs);
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
            http::send(network, http::plainRequest(server.baseURL().resolved(QUrl(u"/x"_qs)),
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
            << u"Connection refused"_qs;
        QTest::newRow("connection dropped")
            << std::optional<Answer>(Answer::dropConnection())
            << int(QNetworkReply::RemoteHostClosedError) << u"Connection closed"_qs;
        QTest::newRow("no answer in time")
            << std::optional<Answer>(Answer::hang()) << int(QNetworkReply::TimeoutError)
            << u"The request timed out."_qs;
        QTest::newRow("redirect to another scheme")
            << std::optional<Answer>(Answer::redirect(302, "quillon://elsewhere/x"))
            << int(QNetworkReply::ProtocolUnknownError) << u"Unknown protocol specified"_qs;
    }

    void failuresOfTheHttpClient() {
        QFETCH(std::optional<Answer>, answer);
        QFETCH(int, code);
        QFETCH(QString, description);
        ScriptedServer server;
        QUrl url = server.baseURL().resolved(QUrl(u"/x"_qs));
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
};

QTEST_GUILESS_MAIN(TestBackendHttp)
#include "tst_backendhttp.moc"
