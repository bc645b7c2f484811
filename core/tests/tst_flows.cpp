#include "core/app/AppConfiguration.h"
#include "core/app/AppContainer.h"
#include "core/backend/FeedbackService.h"
#include "core/backend/LinkedInAuthService.h"
#include "core/backend/WebAuthenticationSession.h"
#include "core/flows/AccountFlow.h"
#include "core/flows/ConnectFlow.h"
#include "core/flows/FeedbackFlow.h"
#include "core/flows/PostFlow.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/DraftRepository.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"
#include "tests/support/TaskOutcome.h"
#include "tests/support/TestBackend.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>
#include <httplib.h>

using namespace Qt::StringLiterals;
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
        const std::string state = QUrlQuery(url()).queryItemValue(u"state"_s).toStdString();
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

// A sign-in sheet the person leaves open: it ends only when it is dropped.
class OpenSheet final : public WebAuthenticationSession {
public:
    OpenSheet(QUrl url, QString scheme, CompletionHandler completion, bool& shown)
        : WebAuthenticationSession(std::move(url), std::move(scheme), std::move(completion))
        , m_shown(shown) {}

    bool start() override {
        m_shown = true;
        return true;
    }
    void cancel() override {}

private:
    bool& m_shown;
};

AppConfiguration configurationFor(const QUrl& baseURL) {
    AppConfiguration configuration;
    configuration.api.baseURL = baseURL;
    configuration.linkedIn.callbackURLScheme = u"quillon"_s;
    configuration.storage.draftsKey = u"drafts"_s;
    configuration.storage.linkedInTokenKey = u"linkedin.token"_s;
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
    token.accessToken = u"access-"_s + memberID;
    token.profile.memberID = memberID;
    token.profile.name = u"Ada Demo"_s;
    token.connectedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
    return token;
}

// What a flow said of its runs through the NOTIFY signal of its state.
QList<bool> told(const QSignalSpy& spy) {
    QList<bool> values;
    for (const QList<QVariant>& arguments : spy) {
        values.append(arguments.at(0).toBool());
    }
    return values;
}

// The app's container over the stand-in and the session's keyring, with its flows; the runs
// report into `events`.
struct Flows {
    explicit Flows(std::optional<QString> signInAs = std::nullopt)
        : Flows([signInAs](QUrl url, QString scheme,
                           WebAuthenticationSession::CompletionHandler completion) {
            return std::make_unique<SigningInSheet>(std::move(url), std::move(scheme),
                                                    std::move(completion), signInAs);
        }) {}
    explicit Flows(WebAuthenticationSessionFactory sheets)
        : container(std::make_unique<AppContainer>(
              configurationFor(backend.baseURL()),
              PlatformServices{
                  std::make_shared<SqliteUserDefaults>(dir.filePath(u"defaults.sqlite3"_s)),
                  emptiedKeychain(), std::move(sheets)})) {
        // As the window does: the drafts belong to whoever is connected.
        QObject::connect(&session(), &LinkedInSessionStore::tokenChanged, &drafts(),
                         [this] { drafts().setOwner(session().memberID()); });
    }

    DraftStore& drafts() const { return container->draftStore(); }
    LinkedInSessionStore& session() const { return container->linkedInSessionStore(); }
    QString draftsStatus() const { return drafts().statusMessage().value_or(QString()); }
    QString sessionStatus() const { return session().statusMessage().value_or(QString()); }

    QList<Event> events;
    TestBackend backend{std::chrono::seconds(2)};
    QTemporaryDir dir;
    std::unique_ptr<AppContainer> container;
    TelemetrySink sink = [this](Event e) { events.append(e); };
    ConnectFlow& connectFlow = container->connectFlow();
    PostFlow& postFlow = container->postFlow();
    AccountFlow& accountFlow = container->accountFlow();
    FeedbackFlow& feedbackFlow = container->feedbackFlow();
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
            << u"Posted to LinkedIn"_s << QList<Event>{Event::postStarted, Event::postSucceeded}
            << u"my post"_s;
        QTest::newRow("connected, refused")
            << true << std::optional<QString>()
            << std::optional<Failure>(Failure{502, "unavailable", "Posting is unavailable."})
            << u"Posting is unavailable."_s << QList<Event>{Event::postStarted, Event::postFailed}
            << u"my post"_s;
        QTest::newRow("connects first, posted")
            << false << std::optional<QString>(u"m2"_s) << std::optional<Failure>()
            << u"Posted to LinkedIn"_s
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted,
                            Event::linkedInConnected, Event::postSucceeded}
            << u"Write a LinkedIn post..."_s;
        // Connecting moved the drafts to the new member and emptied the editor meanwhile.
        QTest::newRow("connects first, refused")
            << false << std::optional<QString>(u"m2"_s)
            << std::optional<Failure>(Failure{502, "unavailable", "Posting is unavailable."})
            << u"Posting is unavailable."_s
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted,
                            Event::linkedInConnected, Event::postFailed}
            << u"my post"_s;
        QTest::newRow("no sheet to connect in")
            << false << std::optional<QString>() << std::optional<Failure>()
            << u"Cannot open LinkedIn authorization."_s
            << QList<Event>{Event::postStarted, Event::linkedInConnectStarted, Event::postFailed}
            << u"my post"_s;
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
            f.session().save(tokenFor(u"m1"_s));
        }
        if (postFailure) {
            f.backend->setFailure("/api/linkedin/post", *postFailure);
        }
        // A saved draft, opened: a change of owner replaces it in the editor.
        f.drafts().setEditorText(u"my post"_s);
        f.drafts().saveDraft();
        f.drafts().openDraft(f.drafts().drafts().first());
        QSignalSpy posting(&f.postFlow, &PostFlow::postingChanged);
        QSignalSpy posted(&f.postFlow, &PostFlow::posted);
        // Told idle once the status line has the outcome and before its event; the success
        // is told last.
        QString statusWhenIdle;
        qsizetype eventsWhenIdle = -1;
        QObject::connect(&f.postFlow, &PostFlow::postingChanged, [&](bool running) {
            if (!running) {
                statusWhenIdle = f.draftsStatus();
                eventsWhenIdle = f.events.size();
            }
        });
        QList<Event> eventsWhenPosted;
        QObject::connect(&f.postFlow, &PostFlow::posted, [&] { eventsWhenPosted = f.events; });
        QCoro::Task<> run = f.postFlow.post(f.sink);
        QVERIFY(f.postFlow.isPosting());
        // A second start while the first runs is not a second post.
        QVERIFY(awaitOutcome(f.postFlow.post(f.sink)).succeeded());
        QVERIFY(awaitOutcome(std::move(run)).succeeded());

        QCOMPARE(f.draftsStatus(), status);
        QCOMPARE(f.events, events);
        QCOMPARE(told(posting), (QList<bool>{true, false}));
        QVERIFY(!f.postFlow.isPosting());
        QCOMPARE(f.drafts().editorText(), editorAfter);
        const bool succeeded = events.contains(Event::postSucceeded);
        QCOMPARE(posted.size(), succeeded ? 1 : 0);
        QCOMPARE(statusWhenIdle, status);
        QCOMPARE(eventsWhenIdle, events.size() - 1);
        QCOMPARE(eventsWhenPosted, succeeded ? events : QList<Event>());
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
            << std::optional<QString>(u"m3"_s) << QString()
            << QList<Event>{Event::linkedInConnectStarted, Event::linkedInConnected};
        QTest::newRow("no sheet") << std::optional<QString>()
                                  << u"Cannot open LinkedIn authorization."_s
                                  << QList<Event>{Event::linkedInConnectStarted};
    }
    void aConnectEndsInTheSessionStatusLine() {
        QFETCH(std::optional<QString>, signInAs);
        QFETCH(QString, status);
        QFETCH(QList<Event>, events);

        Flows f(signInAs);
        QSignalSpy connecting(&f.connectFlow, &ConnectFlow::connectingChanged);
        QCoro::Task<> run = f.connectFlow.connectLinkedIn(f.sink);
        QVERIFY(f.connectFlow.isConnecting());
        QVERIFY(awaitOutcome(f.connectFlow.connectLinkedIn(f.sink)).succeeded());
        QVERIFY(awaitOutcome(std::move(run)).succeeded());
        QCOMPARE(f.sessionStatus(), status);
        QCOMPARE(f.events, events);
        QCOMPARE(told(connecting), (QList<bool>{true, false}));
        QVERIFY(!f.connectFlow.isConnecting());
        QCOMPARE(f.session().memberID(), signInAs);
        QCOMPARE(f.drafts().statusMessage(), std::nullopt);
    }

    void anAccountRequestSettlesOnlyWhenTheBackendAgrees_data() {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("status");

        QTest::newRow("log out") << false << false << u"Logged out."_s;
        QTest::newRow("log out refused")
            << false << true << u"LinkedIn disconnect is unavailable."_s;
        QTest::newRow("delete") << true << false << u"Account deleted."_s;
        QTest::newRow("delete refused") << true << true << u"LinkedIn disconnect is unavailable."_s;
    }
    void anAccountRequestSettlesOnlyWhenTheBackendAgrees() {
        QFETCH(bool, deletion);
        QFETCH(bool, refused);
        QFETCH(QString, status);

        Flows f;
        f.session().save(tokenFor(u"m1"_s));
        f.drafts().setEditorText(u"kept until the account goes"_s);
        f.drafts().saveDraft();
        const std::string endpoint = deletion ? "/api/account/delete" : "/api/linkedin/disconnect";
        if (refused) {
            f.backend->setFailure(endpoint,
                                  {502, "unavailable", "LinkedIn disconnect is unavailable."});
        }
        QSignalSpy loggingOut(&f.accountFlow, &AccountFlow::loggingOutChanged);
        QSignalSpy deleting(&f.accountFlow, &AccountFlow::deletingAccountChanged);
        QSignalSpy settled(&f.accountFlow, &AccountFlow::settled);
        // Told idle once the status line has the outcome; settled after the deletion's event.
        QString statusWhenIdle;
        const auto recordIdle = [&](bool running) {
            if (!running) {
                statusWhenIdle = f.sessionStatus();
            }
        };
        QObject::connect(&f.accountFlow, &AccountFlow::loggingOutChanged, recordIdle);
        QObject::connect(&f.accountFlow, &AccountFlow::deletingAccountChanged, recordIdle);
        QList<Event> eventsWhenSettled;
        QObject::connect(&f.accountFlow, &AccountFlow::settled,
                         [&] { eventsWhenSettled = f.events; });
        QCoro::Task<> request =
            deletion ? f.accountFlow.deleteAccount(f.sink) : f.accountFlow.logOut();
        QVERIFY(f.accountFlow.isBusy());
        // Neither request starts while one runs.
        QVERIFY(awaitOutcome(f.accountFlow.logOut()).succeeded());
        QVERIFY(awaitOutcome(f.accountFlow.deleteAccount(f.sink)).succeeded());
        QVERIFY(awaitOutcome(std::move(request)).succeeded());

        QCOMPARE(int(f.backend->received("/api/linkedin/disconnect").size()), deletion ? 0 : 1);
        QCOMPARE(int(f.backend->received("/api/account/delete").size()), deletion ? 1 : 0);
        QCOMPARE(f.sessionStatus(), status);
        QCOMPARE(told(deletion ? deleting : loggingOut), (QList<bool>{true, false}));
        QCOMPARE(told(deletion ? loggingOut : deleting), QList<bool>());
        QVERIFY(!f.accountFlow.isBusy());
        QCOMPARE(settled.size(), refused ? 0 : 1);
        QCOMPARE(statusWhenIdle, status);
        QCOMPARE(eventsWhenSettled,
                 deletion && !refused ? QList<Event>{Event::accountDeleted} : QList<Event>());
        QCOMPARE(f.session().isConnected(), refused);
        // Only a deletion takes the member's drafts with it.
        QCOMPARE(f.container->draftRepository()->loadDrafts(u"m1"_s).isEmpty(),
                 deletion && !refused);
        QCOMPARE(f.events.contains(Event::accountDeleted), deletion && !refused);
        QCOMPARE(f.container->authService().requiresEphemeralSignIn(), deletion && !refused);
    }

    void aSignedOutAccountRequestAsksNothingOfTheBackend_data() {
        QTest::addColumn<bool>("deletion");
        QTest::addColumn<QString>("status");

        QTest::newRow("log out") << false << u"Logged out."_s;
        QTest::newRow("delete") << true << u"Account deleted."_s;
    }
    void aSignedOutAccountRequestAsksNothingOfTheBackend() {
        QFETCH(bool, deletion);
        QFETCH(QString, status);

        Flows f;
        QSignalSpy settled(&f.accountFlow, &AccountFlow::settled);
        QVERIFY(
            awaitOutcome(deletion ? f.accountFlow.deleteAccount(f.sink) : f.accountFlow.logOut())
                .succeeded());

        QVERIFY(f.backend->received("/api/linkedin/disconnect").empty());
        QVERIFY(f.backend->received("/api/account/delete").empty());
        QCOMPARE(f.sessionStatus(), status);
        QCOMPARE(settled.size(), 1);
        QVERIFY(!f.accountFlow.isBusy());
    }

    // The form's status line hears the outcome before the send ends; the form empties itself
    // only once the feedback arrived and was counted.
    void aSendEndsInTheFormsStatusLine_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<std::optional<Failure>>("failure");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("received");

        QTest::newRow("sent") << u"Lovely app"_s << std::optional<Failure>()
                              << u"Sent. Confirmation was emailed to you."_s << 1;
        QTest::newRow("refused") << u"Lovely app"_s
                                 << std::optional<Failure>(
                                        Failure{503, "unavailable", "Feedback is unavailable."})
                                 << u"Feedback is unavailable."_s << 1;
        QTest::newRow("empty message")
            << u"  \n "_s << std::optional<Failure>() << u"Feedback message is empty."_s << 0;
    }
    void aSendEndsInTheFormsStatusLine() {
        QFETCH(QString, message);
        QFETCH(std::optional<Failure>, failure);
        QFETCH(QString, status);
        QFETCH(int, received);

        Flows f;
        if (failure) {
            f.backend->setFailure("/api/feedback", *failure);
        }
        QList<QString> order;
        QObject::connect(&f.feedbackFlow, &FeedbackFlow::statusMessageChanged,
                         [&order](const QString& text) { order.append(u"status: "_s + text); });
        QObject::connect(&f.feedbackFlow, &FeedbackFlow::sendingChanged, [&order](bool sending) {
            order.append(sending ? u"sending"_s : u"sent or failed"_s);
        });
        QObject::connect(&f.feedbackFlow, &FeedbackFlow::sent,
                         [&order] { order.append(u"arrived"_s); });
        const TelemetrySink sink = [&](Event e) {
            f.events.append(e);
            order.append(u"event"_s);
        };
        QCoro::Task<> run = f.feedbackFlow.send(u"Hello"_s, message, std::nullopt, {}, sink);
        // An empty message is refused before anything is sent; any other send is still out,
        // and a second one does not start meanwhile.
        QCOMPARE(f.feedbackFlow.isSending(), received == 1);
        if (f.feedbackFlow.isSending()) {
            QVERIFY(awaitOutcome(f.feedbackFlow.send(u"Again"_s, message, std::nullopt, {}, sink))
                        .succeeded());
        }
        QVERIFY(awaitOutcome(std::move(run)).succeeded());

        const bool arrived = received == 1 && !failure;
        QCOMPARE(order, arrived
                            ? QList<QString>({u"sending"_s, u"status: "_s, u"status: "_s + status,
                                              u"sent or failed"_s, u"event"_s, u"arrived"_s})
                            : QList<QString>({u"sending"_s, u"status: "_s, u"status: "_s + status,
                                              u"sent or failed"_s}));
        QVERIFY(!f.feedbackFlow.isSending());
        QCOMPARE(int(f.backend->received("/api/feedback").size()), received);
        QCOMPARE(f.events, arrived ? QList<Event>{Event::feedbackSent} : QList<Event>());
    }

    // The window closed while the sign-in sheet is open: the sheet goes with the container and
    // its run ends as cancelled, with none of the container's stores left to tell.
    void aRunOutlivedByItsContainerTouchesNothing_data() {
        QTest::addColumn<bool>("posting");
        QTest::addColumn<QList<Event>>("events");
        QTest::newRow("a post connecting first")
            << true << QList<Event>{Event::postStarted, Event::linkedInConnectStarted};
        QTest::newRow("a connect from Settings")
            << false << QList<Event>{Event::linkedInConnectStarted};
    }
    void aRunOutlivedByItsContainerTouchesNothing() {
        QFETCH(bool, posting);
        QFETCH(QList<Event>, events);
        bool shown = false;
        Flows f([&shown](QUrl url, QString scheme,
                         WebAuthenticationSession::CompletionHandler completion) {
            return std::make_unique<OpenSheet>(std::move(url), std::move(scheme),
                                               std::move(completion), shown);
        });
        f.drafts().setEditorText(u"never sent"_s);
        QCoro::Task<> run =
            posting ? f.postFlow.post(f.sink) : f.connectFlow.connectLinkedIn(f.sink);
        QTRY_VERIFY(shown);

        f.container.reset();
        // The dropped sheet's end is delivered as a posted event.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(f.events, events);
    }
};

QTEST_GUILESS_MAIN(TestFlows)
#include "tst_flows.moc"
