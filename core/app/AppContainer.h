#pragma once

#include "core/app/AppConfiguration.h"
#include "core/backend/WebAuthenticationSession.h"
#include "core/model/AppTelemetryEvent.h"

#include <QString>
#include <memory>
#include <optional>

namespace quillon {

class AccountFlow;
class AppBundle;
class ConnectFlow;
class DraftStore;
class FeedbackFlow;
class PostFlow;
class LinkedInSessionStore;
class LinkedInAuthService;
class LinkedInPostService;
class FeedbackService;
class DraftRepository;
class LinkedInTokenStore;
class KeychainBackend;
class UserDefaults;

// The platform services the container builds on; each has one real implementation.
struct PlatformServices {
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<KeychainBackend> keychain;
    // The sign-in sheets of the connection client; the app layer hands in the web engine's.
    // Empty means no sheet can be shown.
    WebAuthenticationSessionFactory webAuthenticationSessions;

    // The standard defaults store and the Secret Service keychain; no sign-in sheet.
    static PlatformServices system();
};

// The composition root: builds every store, repository and backend client once, in a fixed
// order, and the workflows over them, and keeps them for the life of the process.
class AppContainer {
public:
    explicit AppContainer(AppConfiguration configuration,
                          PlatformServices platform = PlatformServices::system());
    ~AppContainer();
    AppContainer(const AppContainer&) = delete;
    AppContainer& operator=(const AppContainer&) = delete;

    // The keychain service the LinkedIn token's item is kept under.
    static const QString& keychainService();

    // Starts reading the token the session store of a container over `configuration` reads,
    // so the keychain answers while the rest of the program starts.
    static void readTokenAhead(const AppConfiguration& configuration);

    // The drafts store's event sink: sends the event when analytics are configured.
    static void sendTelemetry(AppTelemetryEvent event);

    DraftStore& draftStore() const { return *m_draftStore; }
    LinkedInSessionStore& linkedInSessionStore() const { return *m_linkedInSessionStore; }
    LinkedInAuthService& authService() const { return *m_authService; }
    ConnectFlow& connectFlow() const { return *m_connectFlow; }
    PostFlow& postFlow() const { return *m_postFlow; }
    AccountFlow& accountFlow() const { return *m_accountFlow; }
    FeedbackFlow& feedbackFlow() const { return *m_feedbackFlow; }
    const std::shared_ptr<DraftRepository>& draftRepository() const { return m_draftRepository; }
    const std::shared_ptr<LinkedInTokenStore>& tokenStore() const { return m_tokenStore; }
    const AppConfiguration& configuration() const { return m_configuration; }
    // What the user is told once at start about the stored data: a damaged store that was set
    // aside. None when there is nothing to say.
    const std::optional<QString>& storageNotice() const { return m_storageNotice; }

private:
    std::unique_ptr<DraftStore> m_draftStore;
    std::unique_ptr<LinkedInSessionStore> m_linkedInSessionStore;
    std::unique_ptr<LinkedInAuthService> m_authService;
    std::unique_ptr<LinkedInPostService> m_postService;
    std::unique_ptr<FeedbackService> m_feedbackService;
    std::unique_ptr<ConnectFlow> m_connectFlow;
    std::unique_ptr<PostFlow> m_postFlow;
    std::unique_ptr<AccountFlow> m_accountFlow;
    std::unique_ptr<FeedbackFlow> m_feedbackFlow;
    std::shared_ptr<DraftRepository> m_draftRepository;
    std::shared_ptr<LinkedInTokenStore> m_tokenStore;
    AppConfiguration m_configuration;
    std::optional<QString> m_storageNotice;
};

} // namespace quillon
