#include "core/backend/LinkedInAuthService.h"

#include "core/backend/BackendHttp.h"
#include "core/backend/JsonDecodingError.h"
#include "core/backend/LinkedInAuthError.h"
#include "core/model/JsonCoding.h"
#include "core/storage/LinkedInTokenStore.h"

#include <QCoroFuture>
#include <QFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPromise>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace quillon {

namespace {

// One answer to a poll. Only "status" is required; "httpStatus" and "upstreamBody" are read
// only so that a wrong type there fails like any other malformed answer.
struct ResultEnvelope {
    QString status;
    std::optional<LinkedInToken> token;
    std::optional<QString> error;
    std::optional<QString> errorDescription;

    static ResultEnvelope decode(const QByteArray& bytes) {
        json::Decoder decoder = json::Decoder::fromBytes(bytes);
        ResultEnvelope envelope;
        envelope.status = decoder.string(u"status"_s);
        if (std::optional<json::Decoder> token = decoder.optionalObject(u"token"_s)) {
            envelope.token = LinkedInToken::fromJson(*token);
            decoder.absorb(*token);
        }
        envelope.error = decoder.optionalString(u"error"_s);
        envelope.errorDescription = decoder.optionalString(u"errorDescription"_s);
        decoder.optionalInt64(u"httpStatus"_s);
        decoder.optionalString(u"upstreamBody"_s);
        if (!decoder.ok()) {
            throw JsonDecodingError(decoder.error());
        }
        return envelope;
    }
};

// QUrlQuery takes "%xx" as already encoded and leaves "+", which servers read as a space.
QString queryValue(QString text) {
    return text.replace(u'%', u"%25"_s).replace(u'+', u"%2B"_s);
}

// Throws the backend's message, or "Request failed with status <code>.", for a status
// outside 200 to 299.
void requireAccepted(const http::Answer& answer) {
    if (!answer.accepted()) {
        throw LinkedInAuthError::server(
            http::errorRecordMessage(answer.body)
                .value_or(u"Request failed with status %1."_s.arg(answer.status)));
    }
}

// The body of an accepted answer that is to be decoded.
const QByteArray& acceptedBody(const http::Answer& answer) {
    requireAccepted(answer);
    if (answer.bodyTooLarge) {
        throw JsonDecodingError(u"The answer is too large to be read."_s);
    }
    return answer.body;
}

std::optional<QUrl> urlValue(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid()) {
        return std::nullopt;
    }
    return url;
}

} // namespace

std::optional<LinkedInAuthService::StartResponse>
LinkedInAuthService::StartResponse::fromJsonBytes(const QByteArray& bytes, QString* error) {
    json::Decoder decoder = json::Decoder::fromBytes(bytes);
    StartResponse start;
    const QString authURL = decoder.string(u"authUrl"_s);
    start.state = decoder.string(u"state"_s);
    const QString redirectURI = decoder.string(u"redirectUri"_s);
    start.pollURL = decoder.string(u"pollUrl"_s);
    if (decoder.ok()) {
        const auto auth = urlValue(authURL);
        const auto redirect = urlValue(redirectURI);
        if (!auth) {
            decoder.fail(u"Expected a URL for the key \"authUrl\"."_s);
        } else if (!redirect) {
            decoder.fail(u"Expected a URL for the key \"redirectUri\"."_s);
        } else {
            start.authURL = *auth;
            start.redirectURI = *redirect;
        }
    }
    if (!decoder.ok()) {
        if (error) {
            *error = decoder.error();
        }
        return std::nullopt;
    }
    return start;
}

LinkedInAuthService::LinkedInAuthService(QUrl apiBaseURL, QString callbackURLScheme,
                                         std::shared_ptr<LinkedInTokenStore> tokenStore,
                                         WebAuthenticationSessionFactory sessionFactory,
                                         std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent)
    , m_apiBaseURL(std::move(apiBaseURL))
    , m_callbackURLScheme(std::move(callbackURLScheme))
    , m_tokenStore(std::move(tokenStore))
    , m_sessionFactory(std::move(sessionFactory))
    , m_timeout(timeout)
    , m_network(std::make_unique<QNetworkAccessManager>()) {}

LinkedInAuthService::~LinkedInAuthService() = default;

QCoro::Task<LinkedInToken> LinkedInAuthService::connect() {
    // Every step is made first and then awaited: GCC 12 can destroy temporaries of a co_await
    // expression twice.
    const QCoro::Task<StartResponse> starting = fetchStart();
    const StartResponse start = co_await starting;
    const QCoro::Task<std::optional<QUrl>> signingIn = openAuthorization(start.authURL);
    const std::optional<QUrl> callbackURL = co_await signingIn;
    if (callbackURL) {
        const QCoro::Task<> forwarding = forwardCallbackIfNeeded(*callbackURL);
        co_await forwarding;
    }
    const QCoro::Task<LinkedInToken> polling = pollResult(start.state);
    LinkedInToken token = co_await polling;
    m_tokenStore->save(token);
    co_return token;
}

QCoro::Task<LinkedInAuthService::StartResponse> LinkedInAuthService::fetchStart() {
    const QCoro::Task<http::Answer> sending = http::send(
        *m_network,
        http::plainRequest(http::endpointURL(m_apiBaseURL, u"/api/linkedin/cli/start"), m_timeout));
    const http::Answer answer = co_await sending;
    QString error;
    std::optional<StartResponse> start = StartResponse::fromJsonBytes(acceptedBody(answer), &error);
    if (!start) {
        throw JsonDecodingError(error);
    }
    co_return *start;
}

QCoro::Task<std::optional<QUrl>> LinkedInAuthService::openAuthorization(QUrl authURL) {
    // The sheet would show whatever it is given; only a web page is a sign-in page.
    if (authURL.scheme() != u"https" && authURL.scheme() != u"http") {
        throw LinkedInAuthError::invalidStartURL();
    }

    struct Outcome {
        std::optional<QUrl> callbackURL;
        std::optional<WebAuthenticationSessionError> error;
    };
    auto outcome = std::make_shared<std::optional<Outcome>>();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    const QFuture<void> finished = promise->future();
    // Only the sheet's handler holds the promise: a sheet dropped unended drops it too, and a
    // promise dropped unfinished finishes its future, so this coroutine is never left waiting.
    WebAuthenticationSession::CompletionHandler completion =
        [outcome, promise = std::move(promise)](
            std::optional<QUrl> url, std::optional<WebAuthenticationSessionError> error) {
            if (promise->future().isFinished()) {
                return;
            }
            *outcome = Outcome{std::move(url), std::move(error)};
            promise->finish();
        };

    std::unique_ptr<WebAuthenticationSession> session =
        m_sessionFactory ? m_sessionFactory(authURL, m_callbackURLScheme, std::move(completion))
                         : nullptr;
    const bool ephemeral = m_requiresEphemeralSignIn;
    m_requiresEphemeralSignIn = false;
    if (!session) {
        throw LinkedInAuthError::missingWindow();
    }
    session->setPrefersEphemeralWebBrowserSession(ephemeral);
    m_session = std::move(session);
    if (!m_session->start()) {
        throw LinkedInAuthError::missingWindow();
    }

    co_await finished;
    // A sheet dropped before it ended counts as closed by the person.
    if (!outcome->has_value() ||
        ((*outcome)->error &&
         (*outcome)->error->code() == WebAuthenticationSessionError::Code::canceledLogin)) {
        throw LinkedInAuthError::cancelled();
    }
    if ((*outcome)->error) {
        if ((*outcome)->error->code() == WebAuthenticationSessionError::Code::missingWindow) {
            throw LinkedInAuthError::missingWindow();
        }
        throw *(*outcome)->error;
    }
    co_return (*outcome)->callbackURL;
}

QCoro::Task<> LinkedInAuthService::forwardCallbackIfNeeded(QUrl callbackURL) {
    if (callbackURL.host() != m_apiBaseURL.host() ||
        callbackURL.path() != u"/api/linkedin/callback") {
        co_return;
    }
    const QCoro::Task<http::Answer> sending =
        http::send(*m_network, http::plainRequest(callbackURL, m_timeout));
    const http::Answer answer = co_await sending;
    requireAccepted(answer);
}

QCoro::Task<LinkedInToken> LinkedInAuthService::pollResult(QString state) {
    QUrl url = http::endpointURL(m_apiBaseURL, u"/api/linkedin/cli/result");
    QUrlQuery query;
    query.addQueryItem(u"state"_s, queryValue(state));
    query.addQueryItem(u"wait"_s, u"2"_s);
    url.setQuery(query);
    if (!url.isValid()) {
        throw LinkedInAuthError::invalidStartURL();
    }
    const QNetworkRequest request = http::plainRequest(url, m_timeout);

    int pending = 0;
    for (;;) {
        const QCoro::Task<http::Answer> sending = http::send(*m_network, request);
        const http::Answer answer = co_await sending;
        ResultEnvelope envelope = ResultEnvelope::decode(acceptedBody(answer));

        if (envelope.status == u"done") {
            if (!envelope.token) {
                throw LinkedInAuthError::server(u"LinkedIn token is missing."_s);
            }
            co_return std::move(*envelope.token);
        }
        if (envelope.status == u"pending") {
            if (pending == maximumPolls - 1) {
                throw LinkedInAuthError::timedOut();
            }
            ++pending;
            continue;
        }
        if (envelope.status == u"error") {
            throw LinkedInAuthError::server(envelope.errorDescription.value_or(
                envelope.error.value_or(u"LinkedIn authorization failed."_s)));
        }
        throw LinkedInAuthError::server(u"Unexpected LinkedIn authorization status."_s);
    }
}

QCoro::Task<> LinkedInAuthService::disconnect(QString linkedInID) {
    const QCoro::Task<> posting = postMemberID(u"/api/linkedin/disconnect", std::move(linkedInID));
    co_await posting;
}

QCoro::Task<> LinkedInAuthService::deleteAccount(QString linkedInID) {
    const QCoro::Task<> posting = postMemberID(u"/api/account/delete", std::move(linkedInID));
    co_await posting;
}

QCoro::Task<> LinkedInAuthService::postMemberID(QStringView endpointPath, QString linkedInID) {
    const QNetworkRequest request = http::postRequest(http::endpointURL(m_apiBaseURL, endpointPath),
                                                      "application/json", m_timeout);
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"linkedInId"_s, linkedInID}}).toJson(QJsonDocument::Compact);
    const QCoro::Task<http::Answer> sending = http::send(*m_network, request, body);
    const http::Answer answer = co_await sending;
    requireAccepted(answer);
}

} // namespace quillon
