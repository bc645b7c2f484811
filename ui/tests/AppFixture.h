#pragma once

#include "core/app/AppConfiguration.h"
#include "core/app/AppContainer.h"
#include "core/model/LinkedInToken.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"
#include "tests/support/DraftBodies.h"

#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <optional>

namespace quillon::testing {

inline AppConfiguration configurationFor(const QUrl& baseURL) {
    AppConfiguration configuration;
    configuration.api.baseURL = baseURL;
    configuration.linkedIn.callbackURLScheme = QStringLiteral("quillon");
    configuration.storage.draftsKey = QStringLiteral("drafts");
    configuration.storage.linkedInTokenKey = QStringLiteral("linkedin.token");
    return configuration;
}

// The app's token item in the session's keychain, where a container over configurationFor()
// keeps it.
inline std::shared_ptr<AuthTokenStore>
appTokenStore(std::shared_ptr<KeychainBackend> keychain =
                  std::make_shared<SecretServiceKeychain>(std::chrono::seconds(5))) {
    return std::make_shared<AuthTokenStore>(configurationFor({}).storage.linkedInTokenKey,
                                            AppContainer::keychainService(), std::move(keychain));
}

// The token as the program's next start finds it in the keyring.
inline std::optional<LinkedInToken> tokenAfterRestart() {
    return appTokenStore()->load();
}

// The app's own container over a throw-away defaults file and the session's keychain (none
// outside KEYRING tests: writes are then dropped, which the stores tolerate).
struct AppFixture {
    explicit AppFixture(const QUrl& baseURL = QUrl(QStringLiteral("http://127.0.0.1:9/")),
                        WebAuthenticationSessionFactory signInSheets = {})
        : defaults(std::make_shared<SqliteUserDefaults>(
              dir.filePath(QStringLiteral("defaults.sqlite3"))))
        , container(configurationFor(baseURL),
                    PlatformServices{defaults, emptiedKeychain(), std::move(signInSheets)}) {}

    // The session's keychain without a token an earlier test of the process left there.
    static std::shared_ptr<KeychainBackend> emptiedKeychain() {
        auto keychain = std::make_shared<SecretServiceKeychain>(std::chrono::seconds(5));
        appTokenStore(keychain)->deleteAll();
        return keychain;
    }

    DraftStore& drafts() const { return container.draftStore(); }
    LinkedInSessionStore& session() const { return container.linkedInSessionStore(); }
    DraftRepository& repository() const { return *container.draftRepository(); }

    // Stores a draft for `owner` directly in the defaults, as an earlier run would have.
    Draft storeDraft(const std::optional<QString>& owner, const QString& body) {
        const QDateTime when = QDateTime(QDate(2026, 12, 10), QTime(10, 23), Qt::UTC);
        Draft draft{QUuid::createUuid(), body, when, when};
        QList<Draft> list = repository().loadDrafts(owner);
        list.prepend(draft);
        repository().saveDrafts(list, owner);
        return draft;
    }

    QTemporaryDir dir;
    std::shared_ptr<SqliteUserDefaults> defaults;
    AppContainer container;
};

inline LinkedInToken tokenFor(const QString& memberID,
                              const QString& name = QStringLiteral("Ada Demo"),
                              std::optional<QString> headline = std::nullopt,
                              std::optional<QString> pictureURL = std::nullopt) {
    LinkedInToken token;
    token.accessToken = QStringLiteral("access-") + memberID;
    token.profile.memberID = memberID;
    token.profile.name = name;
    token.profile.headline = std::move(headline);
    token.profile.pictureURL = std::move(pictureURL);
    token.connectedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
    return token;
}

} // namespace quillon::testing
