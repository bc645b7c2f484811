#pragma once

#include "core/backend/WebAuthenticationSessionError.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace quillon {

// A browser sign-in sheet for one sign-in: shows `url` and ends with the first URL the page
// reaches on `callbackURLScheme`, with an error, or with neither. The completion handler is
// called at most once, on the thread that started the sheet; never when `start()` fails.
class WebAuthenticationSession {
public:
    using CompletionHandler = std::function<void(
        std::optional<QUrl> callbackURL, std::optional<WebAuthenticationSessionError> error)>;

    WebAuthenticationSession(QUrl url, QString callbackURLScheme, CompletionHandler completion);
    virtual ~WebAuthenticationSession();
    WebAuthenticationSession(const WebAuthenticationSession&) = delete;
    WebAuthenticationSession& operator=(const WebAuthenticationSession&) = delete;

    const QUrl& url() const { return m_url; }
    const QString& callbackURLScheme() const { return m_callbackURLScheme; }

    // A private browsing session: nothing of an earlier sign-in is seen, nothing is kept.
    // Read when the sheet starts.
    bool prefersEphemeralWebBrowserSession() const { return m_prefersEphemeral; }
    void setPrefersEphemeralWebBrowserSession(bool ephemeral) { m_prefersEphemeral = ephemeral; }

    // Shows the sheet; false when it cannot be shown (no display, no window system).
    virtual bool start() = 0;
    // Closes a shown sheet; it ends as cancelled.
    virtual void cancel() = 0;

    bool isCompleted() const { return !m_completion; }

protected:
    // Ends the sheet; later calls do nothing.
    void complete(std::optional<QUrl> callbackURL,
                  std::optional<WebAuthenticationSessionError> error);

private:
    const QUrl m_url;
    const QString m_callbackURLScheme;
    CompletionHandler m_completion;
    bool m_prefersEphemeral = false;
};

// Makes the sheet for one sign-in. The app layer provides the real one; an empty factory, or
// one that returns none, means no sheet can be shown.
using WebAuthenticationSessionFactory = std::function<std::unique_ptr<WebAuthenticationSession>(
    QUrl url, QString callbackURLScheme, WebAuthenticationSession::CompletionHandler completion)>;

} // namespace quillon
