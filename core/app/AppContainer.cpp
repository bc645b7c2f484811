#include "core/app/AppContainer.h"

#include "core/app/AppTelemetry.h"
#include "core/backend/FeedbackService.h"
#include "core/backend/LinkedInAuthService.h"
#include "core/backend/LinkedInPostService.h"
#include "core/flows/AccountFlow.h"
#include "core/flows/ConnectFlow.h"
#include "core/flows/FeedbackFlow.h"
#include "core/flows/PostFlow.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "core/storage/SqliteUserDefaults.h"
#include "core/storage/UserDefaultsDraftRepository.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace quillon {

const QString& AppContainer::keychainService() {
    static const QString service = u"dev.tovrel.quillon.linkedin"_s;
    return service;
}

PlatformServices PlatformServices::system() {
    return {SqliteUserDefaults::standard(), std::make_shared<SecretServiceKeychain>(), {}};
}

AppContainer::AppContainer(AppConfiguration configuration, PlatformServices platform) {
    if (const auto aside = platform.defaults ? platform.defaults->setAsideFile() : std::nullopt) {
        m_storageNotice = u"Saved drafts could not be read and were kept in %1. Starting with no "
                          "drafts."_s.arg(QFileInfo(*aside).fileName());
    }
    auto repository = std::make_shared<UserDefaultsDraftRepository>(configuration.storage.draftsKey,
                                                                    platform.defaults);
    auto tokenStore = std::make_shared<AuthTokenStore>(
        configuration.storage.linkedInTokenKey, keychainService(), std::move(platform.keychain),
        std::move(platform.defaults));
    m_configuration = std::move(configuration);
    m_draftRepository = repository;
    m_tokenStore = tokenStore;
    m_authService = std::make_unique<LinkedInAuthService>(
        m_configuration.api.baseURL, m_configuration.linkedIn.callbackURLScheme, m_tokenStore,
        std::move(platform.webAuthenticationSessions));
    m_postService = std::make_unique<LinkedInPostService>(m_configuration.api.baseURL);
    m_feedbackService = std::make_unique<FeedbackService>(m_configuration.api.baseURL);
    m_draftStore = std::make_unique<DraftStore>(m_draftRepository, &AppContainer::sendTelemetry);
    m_linkedInSessionStore = std::make_unique<LinkedInSessionStore>(m_tokenStore);
    m_connectFlow = std::make_unique<ConnectFlow>(*m_linkedInSessionStore, *m_authService);
    m_postFlow = std::make_unique<PostFlow>(*m_draftStore, *m_connectFlow, *m_linkedInSessionStore,
                                            *m_postService);
    m_accountFlow =
        std::make_unique<AccountFlow>(*m_draftStore, *m_linkedInSessionStore, *m_authService);
    m_feedbackFlow = std::make_unique<FeedbackFlow>(*m_feedbackService);
}

AppContainer::~AppContainer() = default;

void AppContainer::readTokenAhead(const AppConfiguration& configuration) {
    SecretServiceKeychain::readAhead(
        AuthTokenStore::queryFor(configuration.storage.linkedInTokenKey, keychainService()));
}

void AppContainer::sendTelemetry(AppTelemetryEvent event) {
    sendTelemetryEvent(event);
}

} // namespace quillon
