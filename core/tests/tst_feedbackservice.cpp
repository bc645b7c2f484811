#include "core/backend/FeedbackError.h"
#include "core/backend/FeedbackService.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"

#include <QCoroFuture>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;
using Answer = ScriptedServer::Answer;

Q_DECLARE_METATYPE(ScriptedServer::Answer)
Q_DECLARE_METATYPE(std::optional<quillon::FeedbackSenderIdentity>)
Q_DECLARE_METATYPE(QList<quillon::FeedbackImageAttachment>)

namespace {

QJsonObject parsed(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

FeedbackImageAttachment attachment(const char* filename, const char* content) {
    return {QUuid::createUuid(), QString::fromLatin1(filename), QByteArray(content)};
}

} // namespace

class TestFeedbackService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void attachmentFromImageData() {
        const FeedbackImageAttachment a =
            FeedbackImageAttachment::fromImageData(3, QByteArray("\x89PNG\r\n", 6));
        QCOMPARE(a.filename, u"feedback-3.jpg"_s);
        QCOMPARE(a.content, QByteArray("iVBORw0K"));
        QVERIFY(!a.id.isNull());
        QVERIFY(FeedbackImageAttachment::fromImageData(3, QByteArray()).id != a.id);
    }

    void attachmentsKeepTheirPositionsInTheSelection() {
        // Read as the loader's file reader says: the second has no data, the third is a pipe.
        const QHash<QString, ImageFileRead> files{
            {u"a"_s, {ImageFileRead::Outcome::read, "a"}},
            {u"b"_s, {ImageFileRead::Outcome::unreadable, {}}},
            {u"p"_s, {ImageFileRead::Outcome::notAFile, {}}},
            {u"c"_s, {ImageFileRead::Outcome::read, "bc"}},
        };
        const FeedbackImageLoad load = FeedbackImageLoader::loadNow(
            {u"a"_s, u"b"_s, u"p"_s, u"c"_s},
            [&files](const QString& path) { return files.value(path); });
        QCOMPARE(load.attachments.size(), 2);
        QCOMPARE(load.attachments.at(0).filename, u"feedback-1.jpg"_s);
        QCOMPARE(load.attachments.at(0).content, QByteArray("YQ=="));
        QCOMPARE(load.attachments.at(1).filename, u"feedback-4.jpg"_s);
        QCOMPARE(load.attachments.at(1).content, QByteArray("YmM="));
        QCOMPARE(load.refused, QStringList{u"p"_s});
    }

    void textsAreEscaped() {
        // Content that is no Base64 cannot come from the form, but must still give valid JSON.
        const QByteArray body =
            FeedbackService::encodeRequest(u"He said \"hi\"\n"_s, u"Tab\there, back\\slash, 𝗯𝗼𝗹𝗱"_s,
                                           FeedbackSenderIdentity{u"Zoë"_s, u"m/1"_s, u"a@b"_s},
                                           {attachment("a\"b.jpg", "not \"Base64\"\\")});
        QJsonParseError error;
        const QJsonDocument parsedBody = QJsonDocument::fromJson(body, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(parsedBody.object(),
                 QJsonObject({{u"name"_s, u"Zoë"_s},
                              {u"linkedInId"_s, u"m/1"_s},
                              {u"email"_s, u"a@b"_s},
                              {u"title"_s, u"He said \"hi\""_s},
                              {u"message"_s, u"Tab\there, back\\slash, 𝗯𝗼𝗹𝗱"_s},
                              {u"attachments"_s,
                               QJsonArray{QJsonObject{{u"filename"_s, u"a\"b.jpg"_s},
                                                      {u"content"_s, u"not \"Base64\"\\"_s}}}}}));
    }

    void emptyMessageSendsNothing_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty") << u"Title"_s << QString();
        QTest::newRow("blank") << QString() << u" \n\t \r\n"_s;
    }

    void emptyMessageSendsNothing() {
        QFETCH(QString, title);
        QFETCH(QString, message);
        TestBackend backend;
        FeedbackService service(backend.baseURL());

        const auto outcome = awaitOutcome(service.send(title, message, std::nullopt, {}));
        QCOMPARE(outcome.description(), u"Feedback message is empty."_s);
        QCOMPARE(outcome.errorAs<FeedbackError>()->kind(), FeedbackError::Kind::emptyMessage);
        QVERIFY(backend->received().empty());
    }

    void requestBody_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<std::optional<FeedbackSenderIdentity>>("identity");
        QTest::addColumn<QList<FeedbackImageAttachment>>("attachments");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("signed out, no title, no images")
            << QString() << std::optional<FeedbackSenderIdentity>()
            << QList<FeedbackImageAttachment>()
            << QByteArray(
                   R"({"name":"","linkedInId":"","email":"","title":"","message":"Lovely.","attachments":[]})");
        QTest::newRow("sender without e-mail")
            << u"  Idea \n"_s
            << std::optional<FeedbackSenderIdentity>({u"Ada"_s, u"m-1"_s, std::nullopt})
            << QList<FeedbackImageAttachment>()
            << QByteArray(
                   R"({"name":"Ada","linkedInId":"m-1","email":"","title":"Idea","message":"Lovely.","attachments":[]})");
        QTest::newRow("sender with e-mail, two images in order")
            << u"Bug"_s
            << std::optional<FeedbackSenderIdentity>({u"Ada"_s, u"m-1"_s, u"ada@example.com"_s})
            << QList<FeedbackImageAttachment>{attachment("feedback-2.jpg", "Ymk="),
                                              attachment("feedback-1.jpg", "YQ==")}
            << QByteArray(
                   R"({"name":"Ada","linkedInId":"m-1","email":"ada@example.com","title":"Bug","message":"Lovely.",)"
                   R"("attachments":[{"filename":"feedback-2.jpg","content":"Ymk="},{"filename":"feedback-1.jpg","content":"YQ=="}]})");
    }

    void requestBody() {
        QFETCH(QString, title);
        QFETCH(std::optional<FeedbackSenderIdentity>, identity);
        QFETCH(QList<FeedbackImageAttachment>, attachments);
        QFETCH(QByteArray, expected);
        TestBackend backend;
        FeedbackService service(backend.baseURL());

        const auto outcome =
            awaitOutcome(service.send(title, u"\n Lovely. \n"_s, identity, attachments));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        const auto requests = backend->received("/api/feedback");
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(requests[0].method, std::string("POST"));
        QCOMPARE(requests[0].header("Content-Type"),
                 std::optional<std::string>("application/json"));
        QCOMPARE(parsed(requests[0].body), QJsonDocument::fromJson(expected).object());
    }

    void imagesArriveByteForByte() {
        TestBackend backend;
        FeedbackService service(backend.baseURL());
        QByteArray image(3 * 1024 * 1024 + 1, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);

        const auto outcome =
            awaitOutcome(service.send(QString(), u"See attached"_s, std::nullopt,
                                      {FeedbackImageAttachment::fromImageData(1, image)}));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        const QJsonObject body = parsed(backend->received("/api/feedback").at(0).body);
        const QJsonObject sent = body.value(u"attachments"_s).toArray().at(0).toObject();
        QCOMPARE(sent.keys(), (QStringList{u"content"_s, u"filename"_s}));
        QCOMPARE(QByteArray::fromBase64(sent.value(u"content"_s).toString().toLatin1()), image);
    }

    void answers_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("error");

        QTest::newRow("200, any body") << Answer::text(200, "<html>") << true << QString();
        QTest::newRow("299") << Answer::json(299, "{}") << true << QString();
        QTest::newRow("300") << Answer::json(300, "{}") << false << u"Feedback send failed."_s;
        QTest::newRow("413 with a record")
            << Answer::json(413,
                            R"({"error":"too_large","errorDescription":"Images are too large."})")
            << false << u"Images are too large."_s;
        QTest::newRow("422, error only")
            << Answer::json(422, R"({"error":"invalid"})") << false << u"invalid"_s;
        QTest::newRow("500 not JSON")
            << Answer::text(500, "Internal Server Error") << false << u"Feedback send failed."_s;
        QTest::newRow("connection dropped")
            << Answer::dropConnection() << false << u"Connection closed"_s;
    }

    void answers() {
        QFETCH(Answer, answer);
        QFETCH(bool, succeeds);
        QFETCH(QString, error);
        ScriptedServer server;
        server.script("/api/feedback", {answer});
        FeedbackService service(server.baseURL());

        const auto outcome = awaitOutcome(service.send(u"t"_s, u"m"_s, std::nullopt, {}));
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.succeeded(), succeeds);
        QCOMPARE(outcome.description(), error);
    }
};

QTEST_GUILESS_MAIN(TestFeedbackService)
#include "tst_feedbackservice.moc"
