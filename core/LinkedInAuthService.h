#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace quillon {

class LinkedInTokenStore;

// Connects the user's LinkedIn account through the backend, and ends the connection or
// deletes the account there. Main thread only.
class LinkedInAuthService : public QObject {
    Q_OBJECT

public:
    LinkedInAuthService(QUrl apiBaseURL, QString callbackURLScheme,
                        std::shared_ptr<LinkedInTokenStore> tokenStore, QObject* parent = nullptr);
    ~LinkedInAuthService() override;

    const QUrl& apiBaseURL() const { return m_apiBaseURL; }
    const QString& callbackURLScheme() const { return m_callbackURLScheme; }
    LinkedInTokenStore& tokenStore() const { return *m_tokenStore; }

private:
    const QUrl m_apiBaseURL;
    const QString m_callbackURLScheme;
    const std::shared_ptr<LinkedInTokenStore> m_tokenStore;
};

} // namespace quillon
