#include "core/backend/JsonDecodingError.h"
#include "core/backend/LinkedInAuthError.h"
#include "core/backend/LinkedInAuthService.h"
#include "core/backend/NetworkError.h"
#include "core/backend/WebAuthenticationSession.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <httplib.h>

using namespace Qt::StringLiterals;
using namespace quillon;
using namespace quillon::testsupport;
using Answer = ScriptedServer::Answer;

Q_DECLARE_METATYPE(ScriptedServer::Answer)
Q_DECLARE_METATYPE(std::vector<ScriptedServer::Answer>)

namespace {

// The real keychain store, counting the saves that go through it.
class CountingTokenStore final : public LinkedInTokenStore {
public:
    CountingTokenStore()
        : m_store(u"linkedin.token"_s, u"dev.tovrel.quillon.linkedin"_s,
                  std::make_shared<SecretServiceKeychain>()) {
        m_store.deleteAll();
    }
    std::optional<LinkedInToken> load() override { return m_store.load(); }
    TokenSave save(const LinkedInToken& token) override {
        ++saves;
        return m_store.save(token);
    }
    TokenDeletion deleteToken() override { return m_store.deleteToken(); }
    TokenDeletion deleteAll() override { return m_store.deleteAll(); }

    int saves = 0;

private:
    AuthTokenStore m_store;
};

// What the scripted sheet does once shown.
struct SheetScript {
    // stayOpen: shown until dropped, and a drop ends nothing.
    enum class Ending { callbackURL, nothing, cancel, error, noDisplay, cannotStart, stayOpen };
    Ending ending = Ending::nothing;
    QUrl callbackURL;
    // Before it ends, the "person" signs in on the stand-in's page as this member.
    std::optional<QString> signInAs;
};

struct SheetRecord {
    QUrl url;
    QString callbackURLScheme;
    bool ephemeral = false;
};

// A sign-in sheet that plays a person's part without a browser: it may sign in on the
// stand-in's own callback page, then ends as scripted, always after returning to the loop.
class ScriptedSheet final : public WebAuthenticationSession {
public:
    ScriptedSheet(QUrl url, QString scheme, CompletionHandler completion, SheetScript script,
                  std::vector<SheetRecord>& records)
        : WebAuthenticationSession(std::move(url), std::move(scheme), std::move(completion))
        , m_script(std::move(script))
        , m_records(records) {}
    ~ScriptedSheet() override { *m_alive = false; }

    bool start() override {
        m_records.push_back({url(), callbackURLScheme(), prefersEphemeralWebBrowserSession()});
        if (m_script.ending == SheetScript::Ending::cannotStart) {
            return false;
        }
        if (m_script.ending == SheetScript::Ending::stayOpen) {
            return true;
        }
        if (m_script.signInAs) {
            signIn(*m_script.signInAs);
        }
        QTimer::singleShot(0, [this, alive = m_alive] {
            if (*alive) {
                end();
            }
        });
        return true;
    }
    void cancel() override {
        complete(std::nullopt,
                 WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    }

private:
    void signIn(const QString& memberID) {
        const QString state = QUrlQuery(url()).queryItemValue(u"state"_s);
        httplib::Client browser(url().host().toStdString(), url().port());
        const auto page = browser.Get(("/signin?state=" + state).toStdString());
        QVERIFY(page && page->status == 200);
        httplib::Params form{{"state", state.toStdString()},
                             {"name", "Ada Lovelace"},
                             {"memberId", memberID.toStdString()},
                             {"headline", "Analyst of engines"}};
        const auto callback = browser.Get("/api/linkedin/callback", form, httplib::Headers());
        QVERIFY(callback && callback->status == 200);
    }

    void end() {
        using Ending = SheetScript::Ending;
        switch (m_script.ending) {
        case Ending::callbackURL:
            complete(m_script.callbackURL, std::nullopt);
            break;
        case Ending::nothing:
            complete(std::nullopt, std::nullopt);
            break;
        case Ending::cancel:
            cancel();
            break;
        case Ending::error:
            complete(std::nullopt, WebAuthenticationSessionError(
                                       WebAuthenticationSessionError::Code::webContentTerminated));
            break;
        case Ending::noDisplay:
            complete(std::nullopt, WebAuthenticationSessionError(
                                       WebAuthenticationSessionError::Code::missingWindow));
            break;
        case Ending::cannotStart:
        case Ending::stayOpen:
            break;
        }
    }

    SheetScript m_script;
    std::vector<SheetRecord>& m_records;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Built rather than written out: moc misreads raw strings that hold "//".
std::string startJson(const char* authURL, const QJsonValue& state, const char* redirectURI) {
    return QJsonDocument(QJsonObject{{u"authUrl"_s, QLatin1String(authURL)},
                                     {u"state"_s, state},
                                     {u"redirectUri"_s, QLatin1String(redirectURI)},
                                     {u"pollUrl"_s, u"/poll"_s}})
        .toJson()
        .toStdString();
}

const std::string startAnswer = startJson("https://signin.invalid/auth?state=s-1", u"s-1"_s,
                                          "https://backend.invalid/api/linkedin/callback");

const std::string tokenJson =
    R"({"accessToken":"access-1","tokenType":"Bearer","expiresIn":60,)"
    R"("profile":{"memberId":"member-1","name":"Ada"},"connectedAt":"2026-12-10T09:41:03Z"})";

std::string done() {
    return R"({"status":"done","token":)" + tokenJson + "}";
}

std::vector<Answer> repeated(int count, const Answer& answer) {
    return std::vector<Answer>(std::size_t(count), answer);
}

int count(const std::vector<standin::StandInBackend::ReceivedRequest>& requests,
          const std::string& path) {
    return int(std::count_if(requests.begin(), requests.end(),
                             [&path](const auto& request) { return request.path == path; }));
}

} // namespace

class TestLinkedInAuthService : public QObject {
    Q_OBJECT

    std::shared_ptr<CountingTokenStore> store;
    std::vector<SheetRecord> sheets;

    std::unique_ptr<LinkedInAuthService> service(const QUrl& base, SheetScript script) {
        return std::make_unique<LinkedInAuthService>(
            base, u"quillon"_s, store,
            [this, script](QUrl url, QString scheme,
                           WebAuthenticationSession::CompletionHandler completion) {
                return std::make_unique<ScriptedSheet>(std::move(url), std::move(scheme),
                                                       std::move(completion), script, sheets);
            });
    }

private Q_SLOTS:
    void init() {
        store = std::make_shared<CountingTokenStore>();
        sheets.clear();
    }

    void connectsThroughTheStandInAndSavesTheTokenOnce() {
        TestBackend backend;
        auto auth =
            service(backend.baseURL(), {SheetScript::Ending::callbackURL,
                                        QUrl(u"quillon://linkedin/callback"_s), u"member-42"_s});

        const auto outcome = awaitOutcome(auth->connect());
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        const LinkedInToken& token = *outcome.value;
        QCOMPARE(token.profile.memberID, u"member-42"_s);
        QCOMPARE(token.profile.name, u"Ada Lovelace"_s);
        QCOMPARE(token.profile.headline, std::optional<QString>(u"Analyst of engines"_s));
        QVERIFY(token.accessToken.startsWith(u"standin-"_s));
        QCOMPARE(store->saves, 1);
        QCOMPARE(store->load(), std::optional<LinkedInToken>(token));

        QCOMPARE(sheets.size(), std::size_t(1));
        QCOMPARE(sheets[0].callbackURLScheme, u"quillon"_s);
        QCOMPARE(sheets[0].url.path(), u"/signin"_s);
        QVERIFY(!sheets[0].ephemeral);
        QVERIFY(auth->session() != nullptr);
        QVERIFY(auth->session()->isCompleted());

        const auto received = backend->received();
        const auto polls = backend->received("/api/linkedin/cli/result");
        QCOMPARE(polls.size(), std::size_t(1));
        const QString state = QUrlQuery(sheets[0].url).queryItemValue(u"state"_s);
        QCOMPARE(QString::fromStdString(polls[0].target),
                 u"/api/linkedin/cli/result?state="_s + state + u"&wait=2"_s);
        // The browser's own visit only: the sheet's callback was not the backend's.
        QCOMPARE(count(received, "/api/linkedin/callback"), 1);
        for (const auto& request : received) {
            QVERIFY2(!request.header("Authorization"), request.path.c_str());
        }
    }

    void forwardsOnlyCallbacksMeantForTheBackend_data() {
        QTest::addColumn<QString>("callbackURL");
        QTest::addColumn<bool>("forwarded");

        QTest::newRow("backend host and callback path")
            << u"http://127.0.0.1:%1/api/linkedin/callback?state=%2&name=Grace&memberId=m-7&from=sheet"_s
            << true;
        QTest::newRow("another host")
            << u"http://localhost:%1/api/linkedin/callback?state=%2&from=sheet"_s << false;
        QTest::newRow("backend host, another path")
            << u"http://127.0.0.1:%1/api/linkedin/callbacks?state=%2&from=sheet"_s << false;
        QTest::newRow("backend host, path below the callback")
            << u"http://127.0.0.1:%1/api/linkedin/callback/x?state=%2&from=sheet"_s << false;
        QTest::newRow("callback scheme")
            << u"quillon://linkedin/callback?port=%1&state=%2&from=sheet"_s << false;
    }

    void forwardsOnlyCallbacksMeantForTheBackend() {
        QFETCH(QString, callbackURL);
        QFETCH(bool, forwarded);
        TestBackend backend;
        // The sheet's URL needs the start's state, so the start is fetched first and the
        // connect is run from its steps.
        auto auth = service(backend.baseURL(), {});
        const auto start = awaitOutcome(auth->fetchStart());
        QVERIFY(start.succeeded());
        const QUrl url(callbackURL.arg(backend.port()).arg(start.value->state));
        if (!forwarded) {
            httplib::Client browser("127.0.0.1", backend.port());
            const httplib::Params form{
                {"state", start.value->state.toStdString()}, {"name", "Ada"}, {"memberId", "m-1"}};
            QVERIFY(browser.Get("/api/linkedin/callback", form, httplib::Headers()));
        }
        backend->clearReceived();

        QVERIFY(awaitOutcome(auth->forwardCallbackIfNeeded(url)).succeeded());
        const auto poll = awaitOutcome(auth->pollResult(start.value->state));
        QVERIFY2(poll.succeeded(), qPrintable(poll.description()));

        const auto callbacks = backend->received("/api/linkedin/callback");
        if (forwarded) {
            QCOMPARE(callbacks.size(), std::size_t(1));
            QCOMPARE(QString::fromStdString(callbacks[0].target),
                     url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority));
            QCOMPARE(poll.value->profile.memberID, u"m-7"_s);
        } else {
            QVERIFY(callbacks.empty());
            QCOMPARE(poll.value->profile.memberID, u"m-1"_s);
        }
    }

    void sheetOutcomes_data() {
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("withFactory");
        QTest::addColumn<QString>("error");

        QTest::newRow("ends without a URL")
            << int(SheetScript::Ending::nothing) << true << QString();
        QTest::newRow("closed by the person") << int(SheetScript::Ending::cancel) << true
                                              << u"LinkedIn authorization was cancelled."_s;
        QTest::newRow("cannot be shown") << int(SheetScript::Ending::cannotStart) << true
                                         << u"Cannot open LinkedIn authorization."_s;
        QTest::newRow("finds no display once started")
            << int(SheetScript::Ending::noDisplay) << true
            << u"Cannot open LinkedIn authorization."_s;
        QTest::newRow("no sheets at all") << int(SheetScript::Ending::nothing) << false
                                          << u"Cannot open LinkedIn authorization."_s;
        QTest::newRow("the page stops") << int(SheetScript::Ending::error) << true
                                        << u"The sign-in page stopped unexpectedly."_s;
    }

    void sheetOutcomes() {
        QFETCH(int, ending);
        QFETCH(bool, withFactory);
        QFETCH(QString, error);
        ScriptedServer server;
        server.script("/api/linkedin/cli/start", {Answer::json(200, startAnswer)});
        server.script("/api/linkedin/cli/result", {Answer::json(200, done())});
        auto auth =
            withFactory
                ? service(server.baseURL(), {SheetScript::Ending(ending), {}, std::nullopt})
                : std::make_unique<LinkedInAuthService>(server.baseURL(), u"quillon"_s, store);

        const auto outcome = awaitOutcome(auth->connect());
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.description(), error);
        if (error.isEmpty()) {
            QCOMPARE(outcome.value->accessToken, u"access-1"_s);
            QCOMPARE(server.requests("/api/linkedin/cli/result").size(), std::size_t(1));
            QCOMPARE(store->saves, 1);
        } else {
            QVERIFY(server.requests("/api/linkedin/cli/result").empty());
            QCOMPARE(store->saves, 0);
            QCOMPARE(store->load(), std::nullopt);
        }
        if (ending == int(SheetScript::Ending::error)) {
            QVERIFY(outcome.errorAs<WebAuthenticationSessionError>());
        }
    }

    void sheetDroppedBeforeItEndsCountsAsClosed() {
        // The first sheet stays open; the second, closed by the person, takes its place.
        auto auth = std::make_unique<LinkedInAuthService>(
            QUrl(u"http://127.0.0.1:9"_s), u"quillon"_s, store,
            [this](QUrl url, QString scheme,
                   WebAuthenticationSession::CompletionHandler completion) {
                const SheetScript script{sheets.empty() ? SheetScript::Ending::stayOpen
                                                        : SheetScript::Ending::cancel,
                                         {},
                                         std::nullopt};
                return std::make_unique<ScriptedSheet>(std::move(url), std::move(scheme),
                                                       std::move(completion), script, sheets);
            });
        const QUrl authURL(u"https://signin.invalid/auth?state=s-1"_s);
        QCoro::Task<std::optional<QUrl>> first = auth->openAuthorization(authURL);
        QCOMPARE(sheets.size(), std::size_t(1));

        const auto second = awaitOutcome(auth->openAuthorization(authURL));
        QCOMPARE(second.description(), u"LinkedIn authorization was cancelled."_s);
        const auto dropped = awaitOutcome(std::move(first));
        QVERIFY(dropped.finished);
        QCOMPARE(dropped.description(), u"LinkedIn authorization was cancelled."_s);
    }

    void ephemeralSignInIsUsedUpByOneSheet() {
        ScriptedServer server;
        server.script("/api/linkedin/cli/start", {Answer::json(200, startAnswer)});
        auto auth = service(server.baseURL(), {SheetScript::Ending::cancel, {}, std::nullopt});
        auth->setRequiresEphemeralSignIn(true);

        QCOMPARE(awaitOutcome(auth->connect()).description(),
                 u"LinkedIn authorization was cancelled."_s);
        QVERIFY(!auth->requiresEphemeralSignIn());
        QCOMPARE(awaitOutcome(auth->connect()).description(),
                 u"LinkedIn authorization was cancelled."_s);

        QCOMPARE(sheets.size(), std::size_t(2));
        QVERIFY(sheets[0].ephemeral);
        QVERIFY(!sheets[1].ephemeral);
        QCOMPARE(sheets[0].url, QUrl(u"https://signin.invalid/auth?state=s-1"_s));
    }

    void startAnswers_data() {
        QTest::addColumn<std::vector<Answer>>("answers");
        QTest::addColumn<QString>("error");

        auto without = [](const char* key) {
            QJsonObject object =
                QJsonDocument::fromJson(QByteArray::fromStdString(startAnswer)).object();
            object.remove(QLatin1String(key));
            return Answer::json(200, QJsonDocument(object).toJson().toStdString());
        };
        QTest::newRow("no authUrl")
            << std::vector{without("authUrl")} << u"No value for the key \"authUrl\"."_s;
        QTest::newRow("no state") << std::vector{without("state")}
                                  << u"No value for the key \"state\"."_s;
        QTest::newRow("no redirectUri")
            << std::vector{without("redirectUri")} << u"No value for the key \"redirectUri\"."_s;
        QTest::newRow("no pollUrl")
            << std::vector{without("pollUrl")} << u"No value for the key \"pollUrl\"."_s;
        QTest::newRow("authUrl not a URL")
            << std::vector{Answer::json(200, startJson("http://exa mple/", u"s"_s, "https://b/"))}
            << u"Expected a URL for the key \"authUrl\"."_s;
        QTest::newRow("empty redirectUri")
            << std::vector{Answer::json(200, startJson("https://a/", u"s"_s, ""))}
            << u"Expected a URL for the key \"redirectUri\"."_s;
        QTest::newRow("authUrl not a web page")
            << std::vector{Answer::json(200, startJson("file:///etc/passwd", u"s"_s, "https://b/"))}
            << u"LinkedIn authorization URL is invalid."_s;
        QTest::newRow("state of the wrong type")
            << std::vector{Answer::json(200, startJson("https://a/", 7, "https://b/"))}
            << u"Expected text for the key \"state\"."_s;
        QTest::newRow("not JSON") << std::vector{Answer::text(200, "<html>")}
                                  << u"The data is not valid JSON: illegal value at offset 1."_s;
        QTest::newRow("huge body") << std::vector{Answer::huge(200, 64 * 1024 * 1024)}
                                   << u"The answer is too large to be read."_s;
        QTest::newRow("refused with a record")
            << std::vector{Answer::json(503, R"({"error":"maintenance"})")} << u"maintenance"_s;
        QTest::newRow("refused without a record")
            << std::vector{Answer::text(500, "Internal Server Error")}
            << u"Request failed with status 500."_s;
    }

    void startAnswers() {
        QFETCH(std::vector<Answer>, answers);
        QFETCH(QString, error);
        ScriptedServer server;
        server.script("/api/linkedin/cli/start", answers);
        auto auth = service(server.baseURL(), {});

        const auto outcome = awaitOutcome(auth->connect());
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.description(), error);
        QVERIFY(sheets.empty());
        QVERIFY(server.requests("/api/linkedin/cli/result").empty());
        QCOMPARE(store->saves, 0);
    }

    void pollAnswers_data() {
        QTest::addColumn<std::vector<Answer>>("answers");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("polls");

        const Answer pending = Answer::json(200, R"({"status":"pending"})");
        auto then = [](std::vector<Answer> answers, const Answer& last) {
            answers.push_back(last);
            return answers;
        };
        QTest::newRow("44 pending, then done")
            << then(repeated(44, pending), Answer::json(200, done())) << true << QString() << 45;
        QTest::newRow("45 pending") << then(repeated(45, pending), Answer::json(200, done()))
                                    << false << u"LinkedIn authorization timed out."_s << 45;
        QTest::newRow("done, status 299")
            << std::vector{Answer::json(299, done())} << true << QString() << 1;
        QTest::newRow("done without a token")
            << std::vector{Answer::json(200, R"({"status":"done"})")} << false
            << u"LinkedIn token is missing."_s << 1;
        QTest::newRow("done with a null token")
            << std::vector{Answer::json(200, R"({"status":"done","token":null})")} << false
            << u"LinkedIn token is missing."_s << 1;
        QTest::newRow("done with a broken token")
            << std::vector{Answer::json(200, R"({"status":"done","token":{"accessToken":"a"}})")}
            << false << u"No value for the key \"token.profile\"."_s << 1;
        QTest::newRow("error with both texts")
            << std::vector{Answer::json(
                   200, R"({"status":"error","error":"e","errorDescription":"Declined."})")}
            << false << u"Declined."_s << 1;
        QTest::newRow("error with only its error")
            << std::vector{Answer::json(200, R"({"status":"error","error":"access_denied"})")}
            << false << u"access_denied"_s << 1;
        QTest::newRow("error with neither text")
            << std::vector{Answer::json(
                   200, R"({"status":"error","httpStatus":401,"upstreamBody":"x"})")}
            << false << u"LinkedIn authorization failed."_s << 1;
        QTest::newRow("status in another case")
            << std::vector{Answer::json(200, R"({"status":"Done","token":)" + tokenJson + "}")}
            << false << u"Unexpected LinkedIn authorization status."_s << 1;
        QTest::newRow("pending, then an unknown status")
            << std::vector{pending, Answer::json(200, R"({"status":"waiting"})")} << false
            << u"Unexpected LinkedIn authorization status."_s << 2;
        QTest::newRow("no status") << std::vector{Answer::json(200, R"({"token":null})")} << false
                                   << u"No value for the key \"status\"."_s << 1;
        QTest::newRow("httpStatus of the wrong type")
            << std::vector{Answer::json(200, R"({"status":"pending","httpStatus":"401"})")} << false
            << u"Expected a whole number for the key \"httpStatus\"."_s << 1;
        QTest::newRow("404 with an error record")
            << std::vector{Answer::json(404, R"({"error":"unknown_state"})")} << false
            << u"unknown_state"_s << 1;
        QTest::newRow("404 without an error record")
            << std::vector{Answer::json(404, R"({"errorDescription":"Gone."})")} << false
            << u"Request failed with status 404."_s << 1;
        QTest::newRow("409 with an empty description")
            << std::vector{Answer::json(409, R"({"error":"conflict","errorDescription":""})")}
            << false << QString() << 1;
        QTest::newRow("status 199") << std::vector{Answer::json(199, done())} << false
                                    << u"Request failed with status 199."_s << 1;
        QTest::newRow("status 300") << std::vector{Answer::json(300, done())} << false
                                    << u"Request failed with status 300."_s << 1;
        QTest::newRow("huge body") << std::vector{Answer::huge(200, 64 * 1024 * 1024)} << false
                                   << u"The answer is too large to be read."_s << 1;
    }

    void pollAnswers() {
        QFETCH(std::vector<Answer>, answers);
        QFETCH(bool, succeeds);
        QFETCH(QString, error);
        QFETCH(int, polls);
        ScriptedServer server;
        server.script("/api/linkedin/cli/start", {Answer::json(200, startAnswer)});
        server.script("/api/linkedin/cli/result", answers);
        auto auth = service(server.baseURL(), {});

        const auto outcome = awaitOutcome(auth->connect());
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.succeeded(), succeeds);
        QCOMPARE(outcome.description(), error);
        QCOMPARE(int(server.requests("/api/linkedin/cli/result").size()), polls);
        QCOMPARE(store->saves, succeeds ? 1 : 0);
        if (!succeeds) {
            QCOMPARE(store->load(), std::nullopt);
        }
    }

    void pollCarriesTheStateEncoded() {
        ScriptedServer server;
        server.script("/api/linkedin/cli/result", {Answer::json(200, done())});
        auto auth = service(server.baseURL(), {});

        QVERIFY(awaitOutcome(auth->pollResult(u"a+b c&d=%2F/é"_s)).succeeded());
        QCOMPARE(server.requests("/api/linkedin/cli/result").at(0).target,
                 std::string("/api/linkedin/cli/result?state=a%2Bb%20c%26d%3D%252F/%C3%A9&wait=2"));
    }

    void baseURLKeepsItsOwnPath() {
        ScriptedServer server;
        const std::string start = startJson("https://signin.invalid/", u"s-1"_s, "https://b/");
        server.script("/backend/api/linkedin/cli/start", {Answer::json(200, start)});
        server.script("/backend/api/linkedin/cli/result", {Answer::json(200, done())});
        server.script("/backend/api/linkedin/disconnect", {Answer::json(200, "{}")});
        QUrl base = server.baseURL();
        base.setPath(u"/backend/"_s);
        auto auth = service(base, {});

        QVERIFY(awaitOutcome(auth->connect()).succeeded());
        QVERIFY(awaitOutcome(auth->disconnect(u"m"_s)).succeeded());
        std::vector<std::string> paths;
        for (const auto& request : server.requests()) {
            paths.push_back(request.path);
        }
        QCOMPARE(paths, (std::vector<std::string>{"/backend/api/linkedin/cli/start",
                                                  "/backend/api/linkedin/cli/result",
                                                  "/backend/api/linkedin/disconnect"}));
    }

    void memberRequests_data() {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<QString>("memberID");
        QTest::addColumn<QString>("path");

        QTest::newRow("disconnect") << false << u"member-7"_s << u"/api/linkedin/disconnect"_s;
        QTest::newRow("delete") << true << u"member-7"_s << u"/api/account/delete"_s;
        QTest::newRow("delete, empty member ID") << true << QString() << u"/api/account/delete"_s;
    }

    void memberRequests() {
        QFETCH(bool, deletion);
        QFETCH(QString, memberID);
        QFETCH(QString, path);
        TestBackend backend;
        auto auth = service(backend.baseURL(), {});
        auth->setRequiresEphemeralSignIn(true);

        const auto outcome =
            awaitOutcome(deletion ? auth->deleteAccount(memberID) : auth->disconnect(memberID));
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.description()));
        const auto requests = backend->received();
        QCOMPARE(requests.size(), std::size_t(1));
        QCOMPARE(requests[0].method, std::string("POST"));
        QCOMPARE(QString::fromStdString(requests[0].path), path);
        QCOMPARE(requests[0].header("Content-Type"),
                 std::optional<std::string>("application/json"));
        QVERIFY(!requests[0].header("Authorization"));
        QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(requests[0].body)).object(),
                 QJsonObject({{u"linkedInId"_s, memberID}}));
        // Local state is the caller's business.
        QVERIFY(auth->requiresEphemeralSignIn());
        QCOMPARE(store->saves, 0);
    }

    void refusedMemberRequests_data() {
        QTest::addColumn<std::optional<std::string>>("error");
        QTest::addColumn<std::optional<std::string>>("errorDescription");
        QTest::addColumn<QString>("message");

        QTest::newRow("record with a description")
            << std::optional<std::string>("not_found")
            << std::optional<std::string>("No such member.") << u"No such member."_s;
        QTest::newRow("record without a description")
            << std::optional<std::string>("not_found") << std::optional<std::string>()
            << u"not_found"_s;
        QTest::newRow("no record") << std::optional<std::string>() << std::optional<std::string>()
                                   << u"Request failed with status 502."_s;
    }

    void refusedMemberRequests() {
        QFETCH(std::optional<std::string>, error);
        QFETCH(std::optional<std::string>, errorDescription);
        QFETCH(QString, message);
        TestBackend backend;
        backend->setFailure("/api/account/delete", {502, error, errorDescription});
        auto auth = service(backend.baseURL(), {});

        const auto outcome = awaitOutcome(auth->deleteAccount(u"m-1"_s));
        QCOMPARE(outcome.description(), message);
        QCOMPARE(outcome.errorAs<LinkedInAuthError>()->kind(), LinkedInAuthError::Kind::server);
    }

    void failuresOfTheConversationWithTheStandIn_data() {
        QTest::addColumn<std::string>("endpoint");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("message");

        QTest::newRow("start") << std::string("/api/linkedin/cli/start") << false
                               << u"Start failed."_s;
        QTest::newRow("forwarded callback")
            << std::string("/api/linkedin/callback") << true << u"Callback failed."_s;
        QTest::newRow("result") << std::string("/api/linkedin/cli/result") << false
                                << u"Result failed."_s;
    }

    void failuresOfTheConversationWithTheStandIn() {
        QFETCH(std::string, endpoint);
        QFETCH(bool, forward);
        QFETCH(QString, message);
        TestBackend backend;
        backend->setFailure(endpoint, {400, "bad", message.toStdString()});
        // The backend's own callback is forwarded; a sheet ending with nothing goes on to poll.
        auto auth = service(
            backend.baseURL(),
            {forward ? SheetScript::Ending::callbackURL : SheetScript::Ending::nothing,
             QUrl(u"http://127.0.0.1:%1/api/linkedin/callback?state=x"_s.arg(backend.port())),
             std::nullopt});

        const auto outcome = awaitOutcome(auth->connect());
        QCOMPARE(outcome.description(), message);
        QCOMPARE(store->saves, 0);
    }

    void pendingForeverEndsAfterTheLastPoll() {
        TestBackend backend;
        backend->setPendingForever(true);
        auto auth = service(backend.baseURL(), {SheetScript::Ending::nothing, {}, u"member-1"_s});

        const auto outcome = awaitOutcome(auth->connect());
        QCOMPARE(outcome.description(), u"LinkedIn authorization timed out."_s);
        QCOMPARE(outcome.errorAs<LinkedInAuthError>()->kind(), LinkedInAuthError::Kind::timedOut);
        QCOMPARE(backend->received("/api/linkedin/cli/result").size(), std::size_t(45));
        QCOMPARE(store->saves, 0);
    }

    void networkFailuresPassThrough_data() {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("code");

        QTest::newRow("connection dropped")
            << Answer::dropConnection() << int(QNetworkReply::RemoteHostClosedError);
        QTest::newRow("no answer in time") << Answer::hang() << int(QNetworkReply::TimeoutError);
    }

    void networkFailuresPassThrough() {
        QFETCH(Answer, answer);
        QFETCH(int, code);
        ScriptedServer server;
        server.script("/api/linkedin/cli/start", {answer});
        LinkedInAuthService auth(server.baseURL(), u"quillon"_s, store, {},
                                 std::chrono::milliseconds(300));

        const auto outcome = awaitOutcome(auth.connect());
        QVERIFY(outcome.finished);
        QCOMPARE(int(outcome.errorAs<NetworkError>()->code()), code);
    }
};

QTEST_GUILESS_MAIN(TestLinkedInAuthService)
#include "tst_linkedinauthservice.moc"
