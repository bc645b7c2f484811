#include "tests/support/BackendProcess.h"
#include "tests/support/TestBackend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <future>
#include <httplib.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;

namespace {

QString backendArgsScript() {
    return qEnvironmentVariable("QUILLON_SOURCE_DIR") + u"/scripts/backend-args"_s;
}

QJsonObject json(const httplib::Result& result) {
    return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object()
                  : QJsonObject();
}

std::string multipart(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body +=
            "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    }
    return body + "--B--\r\n";
}

} // namespace

class TestStandInBackend : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInConversation() {
        TestBackend backend(std::chrono::seconds(5));
        httplib::Client client("127.0.0.1", backend.port());

        const QJsonObject start = json(client.Get("/api/linkedin/cli/start"));
        const std::string state = start.value(u"state"_s).toString().toStdString();
        QVERIFY(!state.empty());
        const QString base = backend.baseURL().toString();
        QCOMPARE(start.value(u"authUrl"_s).toString(),
                 base + u"/signin?state="_s + QString::fromStdString(state));
        QCOMPARE(start.value(u"redirectUri"_s).toString(), base + u"/api/linkedin/callback"_s);
        const auto page = client.Get(("/signin?state=" + state).c_str());
        QVERIFY(page && page->status == 200);
        QVERIFY(page->body.find("action=\"/api/linkedin/callback\"") != std::string::npos);

        // A poll held open is answered as soon as the person signs in.
        auto poll = std::async(std::launch::async, [&] {
            httplib::Client poller("127.0.0.1", backend.port());
            return json(poller.Get(("/api/linkedin/cli/result?wait=2&state=" + state).c_str()));
        });
        const httplib::Params form{
            {"state", state}, {"name", "Ada"}, {"memberId", "m-1"}, {"headline", ""}};
        const auto callback = client.Get("/api/linkedin/callback", form, httplib::Headers());
        QVERIFY(callback && callback->status == 200);
        QVERIFY(callback->body.find("url=quillon://linkedin/callback?state=" + state) !=
                std::string::npos);
        const QJsonObject result = poll.get();
        QCOMPARE(result.value(u"status"_s).toString(), u"done"_s);
        const QJsonObject token = result.value(u"token"_s).toObject();
        QCOMPARE(token.value(u"profile"_s).toObject(),
                 QJsonObject({{u"memberId"_s, u"m-1"_s}, {u"name"_s, u"Ada"_s}}));
        QVERIFY(token.value(u"accessToken"_s).toString().startsWith(u"standin-"_s));

        // The outcome is handed out once.
        const auto again = client.Get(("/api/linkedin/cli/result?wait=0&state=" + state).c_str());
        QCOMPARE(again->status, 404);
        QCOMPARE(json(again).value(u"error"_s).toString(), u"unknown_state"_s);
    }

    void aSignInEndsOnceHoweverOftenThePageIsSent() {
        TestBackend backend;
        httplib::Client client("127.0.0.1", backend.port());
        // The sign-in page sent several times at once, as a double click does; the sends race for
        // a short window, hence the many rounds.
        constexpr int sends = 4;
        for (int round = 0; round < 200; ++round) {
            const std::string state = json(client.Get("/api/linkedin/cli/start"))
                                          .value(u"state"_s)
                                          .toString()
                                          .toStdString();
            std::promise<void> go;
            const std::shared_future<void> started = go.get_future().share();
            std::vector<std::future<int>> answers;
            for (int send = 0; send < sends; ++send) {
                answers.push_back(std::async(std::launch::async, [&, send] {
                    httplib::Client sender("127.0.0.1", backend.port());
                    const httplib::Params form{{"state", state},
                                               {"name", "Ada"},
                                               {"memberId", "m-" + std::to_string(send)}};
                    started.wait();
                    const auto answer =
                        sender.Get("/api/linkedin/callback", form, httplib::Headers());
                    return answer ? answer->status : -1;
                }));
            }
            go.set_value();
            int signedIn = 0;
            for (auto& answer : answers) {
                const int status = answer.get();
                QVERIFY2(status == 200 || status == 400, qPrintable(QString::number(status)));
                signedIn += status == 200;
            }
            QCOMPARE(signedIn, 1);
        }
    }

    void postFieldsInAnyOrder_data() {
        QTest::addColumn<std::string>("body");
        QTest::addColumn<std::string>("contentType");
        QTest::addColumn<int>("status");

        const std::string form = "multipart/form-data; boundary=B";
        QTest::newRow("usual order")
            << multipart({{"accessToken", "t"}, {"memberId", "m"}, {"commentary", "Hi"}}) << form
            << 201;
        QTest::newRow("reversed") << multipart({{"commentary", "Hi"},
                                                {"memberId", "m"},
                                                {"accessToken", "t"}})
                                  << form << 201;
        QTest::newRow("quoted boundary")
            << multipart({{"memberId", "m"}, {"commentary", "Hi"}, {"accessToken", "t"}})
            << std::string("multipart/form-data; boundary=\"B\"") << 201;
        QTest::newRow("a field missing")
            << multipart({{"accessToken", "t"}, {"commentary", "Hi"}}) << form << 400;
        QTest::newRow("empty commentary")
            << multipart({{"accessToken", "t"}, {"memberId", "m"}, {"commentary", " "}}) << form
            << 400;
        QTest::newRow("not multipart") << std::string("accessToken=t&memberId=m&commentary=Hi")
                                       << std::string("application/x-www-form-urlencoded") << 400;
        QTest::newRow("no closing delimiter")
            << std::string("--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx") << form
            << 400;
    }

    void postFieldsInAnyOrder() {
        QFETCH(std::string, body);
        QFETCH(std::string, contentType);
        QFETCH(int, status);
        TestBackend backend;
        httplib::Client client("127.0.0.1", backend.port());

        const auto result = client.Post("/api/linkedin/post", body, contentType.c_str());
        QVERIFY(result);
        QCOMPARE(result->status, status);
        if (status != 201) {
            QCOMPARE(json(result).value(u"error"_s).toString(), u"invalid_request"_s);
        }
        QCOMPARE(backend->received("/api/linkedin/post").at(0).body, body);
    }

    void requestsItRefuses_data() {
        QTest::addColumn<std::string>("path");
        QTest::addColumn<std::string>("body");
        QTest::addColumn<int>("status");

        QTest::newRow("disconnect without linkedInId")
            << std::string("/api/linkedin/disconnect") << std::string("{}") << 400;
        QTest::newRow("delete with a number")
            << std::string("/api/account/delete") << std::string(R"({"linkedInId":7})") << 400;
        QTest::newRow("feedback without a message")
            << std::string("/api/feedback")
            << std::string(
                   R"({"name":"","linkedInId":"","email":"","title":"","message":" ","attachments":[]})")
            << 400;
        QTest::newRow("feedback with broken Base64")
            << std::string("/api/feedback")
            << std::string(
                   R"({"name":"","linkedInId":"","email":"","title":"","message":"m","attachments":[{"filename":"a.jpg","content":"no!"}]})")
            << 400;
        QTest::newRow("feedback")
            << std::string("/api/feedback")
            << std::string(
                   R"({"name":"","linkedInId":"","email":"","title":"","message":"m","attachments":[{"filename":"a.jpg","content":"YQ=="}]})")
            << 200;
        QTest::newRow("unknown endpoint")
            << std::string("/api/nothing") << std::string("{}") << 404;
    }

    void requestsItRefuses() {
        QFETCH(std::string, path);
        QFETCH(std::string, body);
        QFETCH(int, status);
        TestBackend backend;
        httplib::Client client("127.0.0.1", backend.port());

        const auto result = client.Post(path.c_str(), body, "application/json");
        QVERIFY(result);
        QCOMPARE(result->status, status);
        if (status >= 400) {
            QVERIFY(json(result).value(u"errorDescription"_s).isString());
        }
    }

    void failuresSetWhileRunning() {
        TestBackend backend;
        httplib::Client client("127.0.0.1", backend.port());

        const auto set =
            client.Post("/_standin/failures", httplib::Params{{"endpoint", "/api/feedback"},
                                                              {"status", "503"},
                                                              {"error", "down"},
                                                              {"errorDescription", ""}});
        QCOMPARE(set->status, 303);
        const auto failed = client.Post("/api/feedback", "{}", "application/json");
        QCOMPARE(failed->status, 503);
        QCOMPARE(json(failed), QJsonObject({{u"error"_s, u"down"_s}}));

        QVERIFY(client.Post("/_standin/failures", httplib::Params{{"action", "clear"}}));
        QCOMPARE(client.Post("/api/feedback", "{}", "application/json")->status, 400);
    }

    void theProgram() {
        BackendProcess process({u"--quiet"_s, u"--fail"_s,
                                u"/api/linkedin/disconnect=502:bad_gateway:LinkedIn: down"_s});
        QVERIFY(process.isListening());
        httplib::Client client("127.0.0.1", process.baseURL().port());

        QCOMPARE(client.Get("/api/linkedin/cli/start")->status, 200);
        const auto refused =
            client.Post("/api/linkedin/disconnect", R"({"linkedInId":"m"})", "application/json");
        QCOMPARE(refused->status, 502);
        QCOMPARE(json(refused), QJsonObject({{u"error"_s, u"bad_gateway"_s},
                                             {u"errorDescription"_s, u"LinkedIn: down"_s}}));
        QCOMPARE(process.terminate(), 0);
    }

    // QUILLON_BACKEND_ARGS as scripts/run splits it and the program takes it: a description
    // with spaces arrives whole, quoted or not.
    void theRunScriptsWordsReachTheProgram_data() {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("description");
        const QString endpoint = u"/api/linkedin/disconnect=502:unavailable:"_s;
        QTest::newRow("none") << QString() << QStringList() << QString();
        QTest::newRow("single quotes")
            << u"--fail '/api/linkedin/disconnect=502:unavailable:Try again later.'"_s
            << QStringList{u"--fail"_s, endpoint + u"Try again later."_s} << u"Try again later."_s;
        QTest::newRow("double quotes, an apostrophe, more options")
            << u"--quiet  --fail \"/api/linkedin/disconnect=502:unavailable:LinkedIn's down.\""_s
            << QStringList{u"--quiet"_s, u"--fail"_s, endpoint + u"LinkedIn's down."_s}
            << u"LinkedIn's down."_s;
        QTest::newRow("nothing in it is run")
            << u"--fail '/api/linkedin/disconnect=502:unavailable:$(echo run) `echo run`'"_s
            << QStringList{u"--fail"_s, endpoint + u"$(echo run) `echo run`"_s}
            << u"$(echo run) `echo run`"_s;
        // As the README writes it: the description runs up to the next option.
        QTest::newRow("unquoted")
            << u"--fail /api/linkedin/disconnect=502:unavailable:Try again later."_s
            << QStringList{u"--fail"_s, endpoint + u"Try"_s, u"again"_s, u"later."_s}
            << u"Try again later."_s;
        QTest::newRow("unquoted, with a colon, then another option")
            << u"--fail=/api/linkedin/disconnect=502:unavailable:Try again: later. --quiet"_s
            << QStringList{u"--fail=/api/linkedin/disconnect=502:unavailable:Try"_s, u"again:"_s,
                           u"later."_s, u"--quiet"_s}
            << u"Try again: later."_s;
    }
    void theRunScriptsWordsReachTheProgram() {
        QFETCH(QString, variable);
        QFETCH(QStringList, words);
        QFETCH(QString, description);
        QProcess split;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLON_BACKEND_ARGS"_s, variable);
        split.setProcessEnvironment(environment);
        split.start(backendArgsScript());
        QVERIFY(split.waitForFinished(10000));
        QCOMPARE(split.exitCode(), 0);
        QStringList splitWords = QString::fromUtf8(split.readAllStandardOutput()).split(u'\0');
        QCOMPARE(splitWords.takeLast(), QString());
        QCOMPARE(splitWords, words);
        if (words.isEmpty()) {
            return;
        }

        BackendProcess process(words);
        QVERIFY(process.isListening());
        httplib::Client client("127.0.0.1", process.baseURL().port());
        const auto refused =
            client.Post("/api/linkedin/disconnect", R"({"linkedInId":"m"})", "application/json");
        QCOMPARE(refused->status, 502);
        QCOMPARE(json(refused).value(u"errorDescription"_s).toString(), description);
        QCOMPARE(process.terminate(), 0);
    }

    // An argument the program cannot use stops it with why, before it listens.
    void argumentsItCannotUseAreRefused_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("a word no option takes")
            << QStringList{u"--quiet"_s, u"again"_s} << u"unexpected argument \"again\""_s;
        QTest::newRow("words after a failure that has no description")
            << QStringList{u"--fail"_s, u"/api/linkedin/post=500:down"_s, u"again"_s}
            << u"unexpected argument \"again\""_s;
        QTest::newRow("an unknown option")
            << QStringList{u"--fial"_s, u"/api/linkedin/post=500"_s} << u"Unknown option 'fial'"_s;
        QTest::newRow("a failure with no value")
            << QStringList{u"--fail"_s} << u"Missing value after '--fail'"_s;
        QTest::newRow("a failure with no endpoint")
            << QStringList{u"--fail"_s, u"500:down:LinkedIn is down."_s}
            << u"--fail \"500:down:LinkedIn is down.\": write ENDPOINT=STATUS[:ERROR[:DESCRIPTION]]"_s;
        QTest::newRow("an endpoint the backend does not have")
            << QStringList{u"--fail"_s, u"/api/linkedin/posts=500"_s}
            << u"no endpoint /api/linkedin/posts; the endpoints are /api/linkedin/cli/start, "_s;
        QTest::newRow("a status that is no number")
            << QStringList{u"--fail"_s, u"/api/feedback=down:LinkedIn is down."_s}
            << u"the status is a number from 100 to 999, not \"down\""_s;
        QTest::newRow("a status out of range")
            << QStringList{u"--fail"_s, u"/api/feedback=42"_s}
            << u"the status is a number from 100 to 999, not \"42\""_s;
        QTest::newRow("a port out of range")
            << QStringList{u"--port"_s, u"70000"_s} << u"--port \"70000\" is not a port"_s;
        QTest::newRow("a port that is no number")
            << QStringList{u"--port"_s, u"http"_s} << u"--port \"http\" is not a port"_s;
        QTest::newRow("a callback scheme that is none")
            << QStringList{u"--callback-scheme"_s, u"quillon://"_s}
            << u"--callback-scheme \"quillon://\" is not a URL scheme"_s;
    }
    void argumentsItCannotUseAreRefused() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QProcess refusing;
        refusing.start(qEnvironmentVariable("QUILLON_BUILD_DIR") + u"/bin/quillon-backend"_s,
                       QStringList{u"--port"_s, u"0"_s} + arguments);
        QVERIFY(refusing.waitForFinished(10000));
        QCOMPARE(refusing.exitStatus(), QProcess::NormalExit);
        QCOMPARE(refusing.exitCode(), 2);
        QVERIFY(refusing.readAllStandardOutput().isEmpty());
        const QString error = QString::fromUtf8(refusing.readAllStandardError());
        QVERIFY2(error.startsWith(u"quillon-backend: "_s) && error.contains(message),
                 qPrintable(error));
    }

    void aQuoteLeftOpenStopsTheRunScript() {
        QProcess split;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLON_BACKEND_ARGS"_s, u"--fail '/api/linkedin/post=500:x:open"_s);
        split.setProcessEnvironment(environment);
        split.start(backendArgsScript());
        QVERIFY(split.waitForFinished(10000));
        QCOMPARE(split.exitCode(), 1);
        QVERIFY(split.readAllStandardError().contains("cannot split QUILLON_BACKEND_ARGS"));
    }

    void theProgramPrintsWhatItKeeps() {
        BackendProcess process;
        QVERIFY(process.isListening());
        httplib::Client client("127.0.0.1", process.baseURL().port());
        QCOMPARE(client
                     .Post("/api/linkedin/post",
                           multipart({{"accessToken", "t"},
                                      {"memberId", "m-9"},
                                      {"commentary", "Hello there"}}),
                           "multipart/form-data; boundary=B")
                     ->status,
                 201);
        QCOMPARE(process.terminate(), 0);
        QVERIFY2(process.output().contains(u"kept, not published: post 1 by m-9: Hello there"_s),
                 qPrintable(process.output()));
    }
};

QTEST_GUILESS_MAIN(TestStandInBackend)
#include "tst_standinbackend.moc"
