#include "core/storage/LinkedInSessionStore.h"

using namespace Qt::StringLiterals;

namespace quillon {

LinkedInSessionStore::LinkedInSessionStore(std::shared_ptr<LinkedInTokenStore> tokenStore,
                                           QObject* parent)
    : QObject(parent)
    , m_tokenStore(std::move(tokenStore)) {
    m_token = m_tokenStore->load();
}

LinkedInSessionStore::~LinkedInSessionStore() = default;

void LinkedInSessionStore::setToken(std::optional<LinkedInToken> token) {
    if (m_token == token) {
        return;
    }
    m_token = std::move(token);
    Q_EMIT tokenChanged();
}

void LinkedInSessionStore::setStatusMessage(const std::optional<QString>& message) {
    // A message that repeats the last one is still a new outcome, told again; only clearing
    // what is already clear is no news.
    if (!message && !m_statusMessage) {
        return;
    }
    m_statusMessage = message;
    Q_EMIT statusMessageChanged();
}

bool LinkedInSessionStore::isConnected() const {
    return m_token && !m_token->accessToken.isEmpty() && !m_token->profile.memberID.isEmpty();
}

std::optional<LinkedInSessionStore::PostingCredentials>
LinkedInSessionStore::postingCredentials() const {
    if (!m_token) {
        return std::nullopt;
    }
    return PostingCredentials{m_token->accessToken, m_token->profile.memberID};
}

std::optional<QString> LinkedInSessionStore::memberID() const {
    return m_token ? std::optional<QString>(m_token->profile.memberID) : std::nullopt;
}

TokenSave LinkedInSessionStore::save(const LinkedInToken& token) {
    setToken(token);
    const TokenSave saved = m_tokenStore->save(token);
    // Set once, after the write: a cleared message followed by the problem in the same turn
    // would be told as two outcomes.
    setStatusMessage(keepingProblem(saved));
    return saved;
}

std::optional<QString> LinkedInSessionStore::keepingProblem(TokenSave save) {
    switch (save) {
    case TokenSave::kept:
        return std::nullopt;
    case TokenSave::keyringLocked:
        return u"Connected for this session only: the keyring is locked."_s;
    case TokenSave::keyringUnavailable:
        return u"Connected, but the keyring does not answer: you may have to "
               "connect again at the next start."_s;
    }
    return std::nullopt;
}

TokenDeletion LinkedInSessionStore::signOut() {
    return signOutAfter(m_tokenStore->deleteToken());
}

TokenDeletion LinkedInSessionStore::forgetAccount() {
    return signOutAfter(m_tokenStore->deleteAll());
}

TokenDeletion LinkedInSessionStore::signOutAfter(TokenDeletion deletion) {
    if (isSettled(deletion)) {
        setToken(std::nullopt);
    }
    return deletion;
}

} // namespace quillon
