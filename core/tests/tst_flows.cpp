#include "core/app/AppConfiguration.h"
#include "core/app/AppContainer.h"
#include "core/backend/LinkedInAuthService.h"
#include "core/backend/WebAuthenticationSession.h"
#include "core/flows/AccountFlow.h"
#include "core/flows/ConnectFlow.h"
#include "core/flows/PostFlow.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/DraftRepository.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <httplib.h>

using namespace quillon;
using namespace quillon::testsupport;
using Event = AppTelemetryEvent;
using Failure = standin::StandInBackend::Failure;

Q_DECLARE_METATYPE(std::optional<quillon::standin::StandInBackend::Failure>)
Q_DECLARE_METATYPE(QList<quillon::AppTelemetryEvent>)

namespace {

// A sign-in sheet without a browser: it signs in on the stand-in's own page as `member`, or
// cannot be shown at all when there is none.
class SigningInSheet final : public WebAuthenticationSession {
public:
    SigningInSheet(QUrl url, QString scheme, CompletionHandler completion,
                   std::optional<QString> member)
        : WebAuthenticationSession(std::move(url), std::move(scheme), std::move(completion))
        , m_member(std::move(member)) {}

    bool start() override {
        if (!m_member) {
            return false;
        }
        const std::string state =
            QUrlQuery(url()).queryItemValue(QStringLiteral("state")).toStdString();
        httplib::Client browser(url().host().toStdString(), url().port());
        const httplib::Params form{
            {"state", state}, {"name", "Grace Hopper"}, {"memberId", m_member->toStdString()}};
        const auto callback = browser.Get("/api/linkedin/callback", form, httplib::Headers());
        if (!callback || callback->status != 200) {
            return false;
        }
        // Ends without a callback URL, as a sheet does once the stand-in's page has answered.
        complete(std::nullopt, std::nullopt);
        return true;
    }
    void cancel() override {
        complete(std::nullopt,
                 WebAuthenticationSessionError(WebAuthenticationSessionError::Code::canceledLogin));
    }

private:
    std::optional<QString> m_member;
};

AppConfiguration configurationFor(const QUrl& baseURL) {
    AppConfiguration configuration;
    configuration.api.baseURL = baseURL;
    configuration.linkedIn.callbackURLScheme = QStringLiteral("quillon");
    configuration.storage.draftsKey = QStringLiteral("drafts");
    configuration.storage.linkedInTokenKey = QStringLiteral("linkedin.token");
    return configuration;
}

std::shared_ptr<KeychainBackend> emptiedKeychain() {
    auto keychain = std::make_shared<SecretServiceKeychain>(std::chrono::seconds(5));
    AuthTokenStore(configurationFor({}).storage.linkedInTokenKey, AppContainer::keychainService(),
                   keychain)
        .deleteAll();
    return keychain;
}

LinkedInToken tokenFor(const QString& memberID) {
    LinkedInToken token;
    token.accessToken = QStringLiteral("access-") + memberID;
    token.profile.memberID = memberID;
    token.profile.name = QStringLiteral("Ada Demo");
    token.connectedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
    return token;
}

// The app's container over the stand-in and the session's keyring, with its three flows; the
// runs report into `events`, and `busy` records what the flows said of their runs.
struct Flows {
    explicit Flows(std::optional<QString> signInAs = std::nullopt)
        : container(configurationFor(backend.baseURL()),
                    PlatformServices{
                        std::make_shared<SqliteUserDefaults>(dir.filePath(u"defaults.sqlite3"_qs)),
                        emptiedKeychain(),
                        [signInAs](QUrl url, QString scheme,
                                   WebAuthenticationSession::CompletionHandler completion) {
                            return std::make_unique<SigningInSheet>(
                                std::move(url), std::move(scheme), std::move(completion), signInAs);
                        }}) {
        // As the window does: the drafts belong to whoever is connected.
        QObject::connect(&session(), &LinkedInSessionStore::tokenChanged, &drafts(),
                         [this] { drafts().setOwner(session().memberID()); });
    }

    DraftStore& drafts() const { return container.draftStore(); }
    LinkedInSessionStore& session() const { return container.linkedInSessionStore(); }
    QString draftsStatus() const { return drafts().statusMessage().value_or(QString()); }
    QString sessionStatus() const { return session().statusMessage().value_or(QString()); }
    std::function<void(bool)> recordBusy() {
        return [this](bool running) { busy.append(running); };
    }
    PostFlow::Posted recordPosted() {
        return [this](const std::optional<QString>& problem) { posted.append(problem); };
    }

    QList<Event> events;
    QList<bool> busy;
    QList<std::optional<QString>> posted;
    TestBackend backend{std::chrono::seconds(2)};
    QTemporaryDir dir;
    AppContainer container;
    TelemetrySink sink = [this](Event e) { events.append(e); };
    const ConnectFlow& connectFlow = container.connectFlow();
    const PostFlow& postFlow = container.postFlow();
    const AccountFlow& accountFlow = container.accountFlow();
};

} // namespace

class TestFlows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aPostEndsInTheDraftsStatusLine_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<std::optional<QString>>("signInAs");
        QTest::addColumn<std::optional<Failure>>("postFailure");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QList<Event>>("events");
        // The text written stays in the editor, but for the new member's fresh post after a
        // connect that went on to post.
        QTest::addColumn<QString>("editorAfter");

        QTest::newRow("connected, posted")
            << true << std::optional<QString>() << std::optional<Failure>()
            << u"Posted to LinkedIn"_qs << QList<Event>{Event::postStarted, Event::postSucceeded}
            << u"my post"_qs;
        QTest::newRow("connected, refused")
            << true << std::optional<QString>()
            << std::optional<Failure>(Failure{502, "unavailable", "Posting is unavailable."})
            << u"Posting is unavailable."_qs << QList<Event>{Event::postStarted, Event::postFailed}
            << u"my post"_qs;
        QTest::newRow("connects first, posted")
            << false << std::optional<QString>(u"m2"_qs) << std::optional<Failure>()
            << u"Posted to LinkedIn"_qs
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted,
                            Event::linkedInConnected, Event::postSucceeded}
            << u"Write a LinkedIn post..."_qs;
        // Connecting moved the drafts to the new member and emptied the editor meanwhile.
        QTest::newRow("connects first, refused")
            << false << std::optional<QString>(u"m2"_qs)
            << std::optional<Failure>(Failure{502, "unavailable", "Posting is unavailable."})
            << u"Posting is unavailable."_qs
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted,
                            Event::linkedInConnected, Event::postFailed}
            << u"my post"_qs;
        QTest::newRow("no sheet to connect in")
            << false << std::optional<QString>() << std::optional<Failure>()
            << u"Cannot open LinkedIn authorization."_qs
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted, Event::postFailed}
            << u"my post"_qs;
    }
    void aPostEndsInTheDraftsStatusLine() {
        QFETCH(bool, connected);
        QFETCH(std::optional<QString>, signInAs);
        QFETCH(std::optional<Failure>, postFailure);
        QFETCH(QString, status);
        QFETCH(QList<Event>, events);
        QFETCH(QString, editorAfter);

        Flows f(signInAs);
        if (connected) {
            f.session().save(tokenFor(u"m1"_qs));
        }
        if (postFailure) {
            f.backend->setFailure("/api/linkedin/post", *postFailure);
        }
        // A saved draft, opened: a change of owner replaces it in the editor.
        f.drafts().setEditorText(u"my post"_qs);
        f.drafts().saveDraft();
        f.drafts().openDraft(f.drafts().drafts().first());
        QVERIFY(
            awaitOutcome(f.postFlow.post(f.recordBusy(), f.recordPosted(), f.sink)).succeeded());

        QCOMPARE(f.draftsStatus(), status);
        QCOMPARE(f.events, events);
        QCOMPARE(f.busy, (QList<bool>{true, false}));
        QCOMPARE(f.drafts().editorText(), editorAfter);
        const bool succeeded = events.contains(Event::postSucceeded);
        QCOMPARE(f.posted.size(), succeeded ? 1 : 0);
        QCOMPARE(int(f.backend->received("/api/linkedin/post").size()),
                 connected || signInAs ? 1 : 0);
        if (signInAs && succeeded) {
            QCOMPARE(f.session().memberID(), signInAs);
        }
    }

    // What the Settings button starts: a failure is said where the account is shown.
    void aConnectEndsInTheSessionStatusLine_data() {
        QTest::addColumn<std::optional<QString>>("signInAs");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QList<Event>>("events");

        QTest::newRow("connected")
            << std::optional<QString>(u"m3"_qs) << QString()
            << QList<Event>{Event::linkedInConnectStarted, Event::linkedInConnected};
        QTest::newRow("no sheet") << std::optional<QString>()
                                  << u"Cannot open LinkedIn authorization."_qs
                                  << QList<Event>{Event::linkedInConnectStarted};
    }
    void aConnectEndsInTheSessionStatusLine() {
        QFETCH(std::optional<QString>, signInAs);
        QFETCH(QString, status);
        QFETCH(QList<Event>, events);

        Flows f(signInAs);
        QVERIFY(awaitOutcome(f.connectFlow.connect(f.recordBusy(), f.sink)).succeeded());
        QCOMPARE(f.sessionStatus(), status);
        QCOMPARE(f.events, events);
        QCOMPARE(f.busy, (QList<bool>{true, false}));
        QCOMPARE(f.session().memberID(), signInAs);
        QCOMPARE(f.drafts().statusMessage(), std::nullopt);
    }

    void anAccountRequestSettlesOnlyWhenTheBackendAgrees_data() {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("status");

        QTest::newRow("log out") << false << false << u"Logged out."_qs;
        QTest::newRow("log out refused")
            << false << true << u"LinkedIn disconnect is unavailable."_qs;
        QTest::newRow("delete") << true << false << u"Account deleted."_qs;
        QTest::newRow("delete refused")
            << true << true << u"LinkedIn disconnect is unavailable."_qs;
    }
    void anAccountRequestSettlesOnlyWhenTheBackendAgrees() {
        QFETCH(bool, deletion);
        QFETCH(bool, refused);
        QFETCH(QString, status);

        Flows f;
        f.session().save(tokenFor(u"m1"_qs));
        f.drafts().setEditorText(u"kept until the account goes"_qs);
        f.drafts().saveDraft();
        const std::string endpoint = deletion ? "/api/account/delete" : "/api/linkedin/disconnect";
        if (refused) {
            f.backend->setFailure(endpoint,
                                  {502, "unavailable", "LinkedIn disconnect is unavailable."});
        }
        int settled = 0;
        const auto settle = [&settled] { ++settled; };
        QCoro::Task<> request = deletion
                                    ? f.accountFlow.deleteAccount(f.recordBusy(), settle, f.sink)
                                    : f.accountFlow.logOut(f.recordBusy(), settle);
        QVERIFY(awaitOutcome(std::move(request)).succeeded());

        QCOMPARE(int(f.backend->received(endpoint).size()), 1);
        QCOMPARE(f.sessionStatus(), status);
        QCOMPARE(f.busy, (QList<bool>{true, false}));
        QCOMPARE(settled, refused ? 0 : 1);
        QCOMPARE(f.session().isConnected(), refused);
        // Only a deletion takes the member's drafts with it.
        QCOMPARE(f.container.draftRepository()->loadDrafts(u"m1"_qs).isEmpty(),
                 deletion && !refused);
        QCOMPARE(f.events.contains(Event::accountDeleted), deletion && !refused);
        QCOMPARE(f.container.authService().requiresEphemeralSignIn(), deletion && !refused);
    }
};

QTEST_GUILESS_MAIN(TestFlows)
#include "tst_flows.moc"
