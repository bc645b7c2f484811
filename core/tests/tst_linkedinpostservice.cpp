#include "core/backend/LinkedInPostError.h"
#include "core/backend/LinkedInPostService.h"
#include "core/backend/NetworkError.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;
using Answer = ScriptedServer::Answer;

Q_DECLARE_METATYPE(ScriptedServer::Answer)

using Fields = QList<std::pair<QString, QString>>;

class TestLinkedInPostService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void multipartBody_data() {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("three fields")
            << Fields{{u"accessToken"_s, u"tok"_s},
                      {u"memberId"_s, u"m-1"_s},
                      {u"commentary"_s, u"Hello"_s}}
            << QByteArray("--Boundary-X\r\n"
                          "Content-Disposition: form-data; name=\"accessToken\"\r\n\r\n"
                          "tok\r\n"
                          "--Boundary-X\r\n"
                          "Content-Disposition: form-data; name=\"memberId\"\r\n\r\n"
                          "m-1\r\n"
                          "--Boundary-X\r\n"
                          "Content-Disposition: form-data; name=\"commentary\"\r\n\r\n"
                          "Hello\r\n"
                          "--Boundary-X--\r\n");
        QTest::newRow("nothing escaped")
            << Fields{{u"na\"me"_s, u"say \"hi\"\r\nbye\n"_s}}
            << QByteArray("--Boundary-X\r\n"
                          "Content-Disposition: form-data; name=\"na\"me\"\r\n\r\n"
                          "say \"hi\"\r\nbye\n\r\n"
                          "--Boundary-X--\r\n");
        QTest::newRow("UTF-8") << Fields{{u"commentary"_s, u"𝗕𝗼𝗹𝗱 café"_s}}
                               << QByteArray(
                                      "--Boundary-X\r\n"
                                      "Content-Disposition: form-data; name=\"commentary\"\r\n\r\n"
                                      "\xF0\x9D\x97\x95\xF0\x9D\x97\xBC\xF0\x9D\x97\xB9\xF0\x9D\x97"
                                      "\xB1 caf\xC3\xA9\r\n"
                                      "--Boundary-X--\r\n");
        QTest::newRow("empty value")
            << Fields{{u"a"_s, QString()}}
            << QByteArray("--Boundary-X\r\n"
                          "Content-Disposition: form-data; name=\"a\"\r\n\r\n"
                          "\r\n"
                          "--Boundary-X--\r\n");
        QTest::newRow("no fields") << Fields{} << QByteArray("--Boundary-X--\r\n");
    }

    void multipartBody() {
        QFETCH(Fields, fields);
        QFETCH(QByteArray, body);
        QCOMPARE(LinkedInPostService::makeMultipartBody(fields, u"Boundary-X"_s), body);
    }

    void refusedBeforeAnythingIsSent_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QString>>("accessToken");
        QTest::addColumn<std::optional<QString>>("memberID");
        QTest::addColumn<QString>("error");

        const std::optional<QString> none;
        const std::optional<QString> token(u"tok"_s);
        const std::optional<QString> member(u"m-1"_s);
        const std::optional<QString> empty{QString()};
        QTest::newRow("blank text, no credentials")
            << u" \n\t\u2028 "_s << none << none << u"Post is empty."_s;
        QTest::newRow("blank text, credentials")
            << u"\r\n"_s << token << member << u"Post is empty."_s;
        QTest::newRow("empty text") << QString() << token << member << u"Post is empty."_s;
        QTest::newRow("no access token")
            << u"Hi"_s << none << member << u"Connect LinkedIn first."_s;
        QTest::newRow("empty access token")
            << u"Hi"_s << empty << member << u"Connect LinkedIn first."_s;
        QTest::newRow("no member ID") << u"Hi"_s << token << none << u"Connect LinkedIn first."_s;
        QTest::newRow("empty member ID")
            << u"Hi"_s << token << empty << u"Connect LinkedIn first."_s;
    }

    void refusedBeforeAnythingIsSent() {
        QFETCH(QString, text);
        QFETCH(std::optional<QString>, accessToken);
        QFETCH(std::optional<QString>, memberID);
        QFETCH(QString, error);
        TestBackend backend;
        LinkedInPostService service(backend.baseURL());

        const auto outcome = awaitOutcome(service.publish(text, accessToken, memberID));
        QCOMPARE(outcome.description(), error);
        QVERIFY(outcome.errorAs<LinkedInPostError>());
        QVERIFY(backend->received().empty());
    }

    void publishesTheTrimmedTextToTheStandIn() {
        TestBackend backend;
        LinkedInPostService service(backend.baseURL());

        const auto outcome = awaitOutcome(
            service.publish(u"\n  First line\n\n  second \"quoted\"\t \n"_s, u" tok "_s, u"m-1"_s));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));

        const auto posts = backend->received("/api/linkedin/post");
        QCOMPARE(posts.size(), std::size_t(1));
        const auto& post = posts[0];
        QCOMPARE(post.method, std::string("POST"));
        const QString contentType =
            QString::fromStdString(post.header("Content-Type").value_or(""));
        const auto match =
            QRegularExpression(
                u"^multipart/form-data; boundary=(Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"_s)
                .match(contentType);
        QVERIFY2(match.hasMatch(), qPrintable(contentType));
        const std::string boundary = match.captured(1).toStdString();
        QCOMPARE(post.body, "--" + boundary +
                                "\r\n"
                                "Content-Disposition: form-data; name=\"accessToken\"\r\n\r\n"
                                " tok \r\n"
                                "--" +
                                boundary +
                                "\r\n"
                                "Content-Disposition: form-data; name=\"memberId\"\r\n\r\n"
                                "m-1\r\n"
                                "--" +
                                boundary +
                                "\r\n"
                                "Content-Disposition: form-data; name=\"commentary\"\r\n\r\n"
                                "First line\n\n  second \"quoted\"\r\n"
                                "--" +
                                boundary + "--\r\n");
        QCOMPARE(post.formFields.at("commentary"),
                 std::string("First line\n\n  second \"quoted\""));
        QVERIFY(!post.header("Authorization"));
    }

    void everyPostHasAFreshBoundary() {
        TestBackend backend;
        LinkedInPostService service(backend.baseURL());
        QVERIFY(awaitOutcome(service.publish(u"Same"_s, u"t"_s, u"m"_s)).succeeded());
        QVERIFY(awaitOutcome(service.publish(u"Same"_s, u"t"_s, u"m"_s)).succeeded());

        const auto posts = backend->received("/api/linkedin/post");
        QCOMPARE(posts.size(), std::size_t(2));
        QVERIFY(posts[0].header("Content-Type") != posts[1].header("Content-Type"));
    }

    void answers_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("error");

        QTest::newRow("199") << Answer::json(199, "{}") << false << u"LinkedIn post failed."_s;
        QTest::newRow("200") << Answer::json(200, "") << true << QString();
        QTest::newRow("201, any body") << Answer::text(201, "not json") << true << QString();
        QTest::newRow("299") << Answer::json(299, "{}") << true << QString();
        QTest::newRow("300") << Answer::json(300, R"({"error":"moved"})") << false << u"moved"_s;
        QTest::newRow("400 with a description")
            << Answer::json(400, R"({"error":"invalid","errorDescription":"Text too long."})")
            << false << u"Text too long."_s;
        QTest::newRow("400, empty description")
            << Answer::json(400, R"({"error":"invalid","errorDescription":""})") << false
            << QString();
        QTest::newRow("400, description but no error")
            << Answer::json(400, R"({"errorDescription":"Text too long."})") << false
            << u"LinkedIn post failed."_s;
        QTest::newRow("500 not JSON")
            << Answer::text(500, "<h1>oops</h1>") << false << u"LinkedIn post failed."_s;
        QTest::newRow("500, huge body")
            << Answer::huge(500, 64 * 1024 * 1024) << false << u"LinkedIn post failed."_s;
        QTest::newRow("201, huge body") << Answer::huge(201, 64 * 1024 * 1024) << true << QString();
        QTest::newRow("connection dropped")
            << Answer::dropConnection() << false << u"Connection closed"_s;
        QTest::newRow("no answer in time")
            << Answer::hang() << false << u"The request timed out."_s;
    }

    void answers() {
        QFETCH(Answer, answer);
        QFETCH(bool, succeeds);
        QFETCH(QString, error);
        ScriptedServer server;
        server.script("/api/linkedin/post", {answer});
        LinkedInPostService service(server.baseURL(), std::chrono::milliseconds(300));

        const auto outcome = awaitOutcome(service.publish(u"Hi"_s, u"t"_s, u"m"_s));
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.succeeded(), succeeds);
        QCOMPARE(outcome.description(), error);
    }

    void refusalsOfTheStandIn() {
        TestBackend backend;
        backend->setFailure("/api/linkedin/post", {502, "upstream", "LinkedIn is unavailable."});
        LinkedInPostService service(backend.baseURL());

        const auto outcome = awaitOutcome(service.publish(u"Hi"_s, u"t"_s, u"m"_s));
        QCOMPARE(outcome.description(), u"LinkedIn is unavailable."_s);
        QCOMPARE(outcome.errorAs<LinkedInPostError>()->kind(), LinkedInPostError::Kind::server);
    }

    void baseURLKeepsItsOwnPath() {
        ScriptedServer server;
        server.script("/v2/api/linkedin/post", {Answer::json(201, "{}")});
        QUrl base = server.baseURL();
        base.setPath(u"/v2"_s);
        LinkedInPostService service(base);

        QVERIFY(awaitOutcome(service.publish(u"Hi"_s, u"t"_s, u"m"_s)).succeeded());
        QCOMPARE(server.requests().size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestLinkedInPostService)
#include "tst_linkedinpostservice.moc"
