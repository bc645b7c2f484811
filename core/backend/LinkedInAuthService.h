#pragma once

#include "core/backend/BackendHttp.h"
#include "core/backend/WebAuthenticationSession.h"
#include "core/model/LinkedInToken.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace quillon {

class LinkedInTokenStore;

// Connects the user's LinkedIn account through the backend (start, the sign-in sheet, the
// forward of a callback meant for the backend, the poll for the outcome) and ends the
// connection or deletes the account there. Keeps no screen state. Main thread only.
class LinkedInAuthService : public QObject {
    Q_OBJECT

public:
    // The start answer. All four keys are required; "authUrl" and "redirectUri" must be URLs.
    struct StartResponse {
        QUrl authURL;
        QString state;
        QUrl redirectURI;
        QString pollURL;

        static std::optional<StartResponse> fromJsonBytes(const QByteArray& bytes,
                                                          QString* error = nullptr);
    };

    // Polls that may answer "pending"; the last of them ends the connect as timed out.
    static constexpr int maximumPolls = 45;

    LinkedInAuthService(QUrl apiBaseURL, QString callbackURLScheme,
                        std::shared_ptr<LinkedInTokenStore> tokenStore,
                        WebAuthenticationSessionFactory sessionFactory = {},
                        std::chrono::milliseconds timeout = http::defaultTimeout,
                        QObject* parent = nullptr);
    ~LinkedInAuthService() override;

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }
    const QString& callbackURLScheme() const { return m_callbackURLScheme; }
    LinkedInTokenStore& tokenStore() const { return *m_tokenStore; }

    // The sheet of the latest connect, kept after it ends until the next connect.
    WebAuthenticationSession* session() const { return m_session.get(); }

    // The next sheet uses a private browser session; used up by that one sheet, whatever
    // becomes of it.
    bool requiresEphemeralSignIn() const { return m_requiresEphemeralSignIn; }
    void setRequiresEphemeralSignIn(bool required) { m_requiresEphemeralSignIn = required; }

    // The whole connection; the token is saved in the token store before it is returned.
    // Throws LinkedInAuthError, NetworkError, JsonDecodingError or the sheet's own
    // WebAuthenticationSessionError. A failed connect saves nothing.
    QCoro::Task<LinkedInToken> connect();

    // Ends the member's connection at the backend ("/api/linkedin/disconnect", body
    // {"linkedInId"}). Touches nothing local. Throws LinkedInAuthError (server) or NetworkError.
    QCoro::Task<> disconnect(QString linkedInID);
    // Deletes the member's account at the backend ("/api/account/delete", body
    // {"linkedInId"}). Touches nothing local. Throws like disconnect().
    QCoro::Task<> deleteAccount(QString linkedInID);

    // The steps of a connect.
    QCoro::Task<StartResponse> fetchStart();
    // The callback URL the sheet ended with; none when it ended with neither URL nor error.
    QCoro::Task<std::optional<QUrl>> openAuthorization(QUrl authURL);
    // Sends the callback to the backend only when it points at the backend's host and at
    // "/api/linkedin/callback"; any other address is never sent anywhere.
    QCoro::Task<> forwardCallbackIfNeeded(QUrl callbackURL);
    QCoro::Task<LinkedInToken> pollResult(QString state);

private:
    QCoro::Task<> postMemberID(QStringView endpointPath, QString linkedInID);

    const QUrl m_apiBaseURL;
    const QString m_callbackURLScheme;
    const std::shared_ptr<LinkedInTokenStore> m_tokenStore;
    const WebAuthenticationSessionFactory m_sessionFactory;
    const std::chrono::milliseconds m_timeout;
    const std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<WebAuthenticationSession> m_session;
    bool m_requiresEphemeralSignIn = false;
};

} // namespace quillon
