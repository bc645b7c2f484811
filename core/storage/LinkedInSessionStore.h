#pragma once

#include "core/model/LinkedInToken.h"
#include "core/storage/LinkedInTokenStore.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace quillon {

// The observable connection state every screen shares: the connected member's token (none
// when signed out) and the last account outcome. Main thread only; changes are written
// through to the token store.
class LinkedInSessionStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<quillon::LinkedInToken> token READ token NOTIFY tokenChanged)
    Q_PROPERTY(std::optional<QString> statusMessage READ statusMessage WRITE setStatusMessage NOTIFY
                   statusMessageChanged)

public:
    struct PostingCredentials {
        QString accessToken;
        QString memberID;
    };

    explicit LinkedInSessionStore(std::shared_ptr<LinkedInTokenStore> tokenStore,
                                  QObject* parent = nullptr);
    ~LinkedInSessionStore() override;

    const std::optional<LinkedInToken>& token() const { return m_token; }
    const std::optional<QString>& statusMessage() const { return m_statusMessage; }
    void setStatusMessage(const std::optional<QString>& message);
    LinkedInTokenStore& tokenStore() const { return *m_tokenStore; }

    // A token with a non-empty access token and member ID; nothing is trimmed.
    bool isConnected() const;
    std::optional<PostingCredentials> postingCredentials() const;
    // The connected member's ID, none when there is no token.
    std::optional<QString> memberID() const;

    // The token is set for this session whatever the keyring does; when the keyring did not
    // keep it, `statusMessage` says so, as keepingProblem() words it.
    TokenSave save(const LinkedInToken& token);
    // What the member is told when a save did not keep the token; none when it did.
    static std::optional<QString> keepingProblem(TokenSave save);
    // The token is given up only once its delete is settled (done or recorded); while the
    // keyring still holds it and nothing remembers to delete it, the member stays signed in,
    // as the next start would find them.
    TokenDeletion signOut();
    TokenDeletion forgetAccount();

Q_SIGNALS:
    void tokenChanged();
    // Also for a message written again unchanged: the same outcome happened once more.
    void statusMessageChanged();

private:
    void setToken(std::optional<LinkedInToken> token);
    TokenDeletion signOutAfter(TokenDeletion deletion);

    std::optional<LinkedInToken> m_token;
    std::optional<QString> m_statusMessage;
    const std::shared_ptr<LinkedInTokenStore> m_tokenStore;
};

} // namespace quillon
