#pragma once

#include "core/backend/WebAuthenticationSession.h"

#include <QObject>
#include <QPointer>

class QDialog;
class QWindow;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

namespace quillon {

// The sign-in sheet on Qt WebEngine: a modal dialog over the app's window showing the sign-in
// page, ending with the first URL the page's main frame is sent to on the callback scheme. A
// private session is an off-the-record profile of its own; otherwise the sheets share one stored
// profile, so a sign-in can be remembered. Closing the dialog ends it as cancelled. Nothing of the
// web engine exists before a sheet starts.
class WebEngineAuthenticationSession final : public QObject, public WebAuthenticationSession {
    Q_OBJECT

public:
    WebEngineAuthenticationSession(QUrl url, QString callbackURLScheme,
                                   CompletionHandler completion);
    // A sheet still shown is closed and ends as cancelled.
    ~WebEngineAuthenticationSession() override;

    // False without a window system to show it on, when the callback scheme was not
    // registered, or when it was started before.
    bool start() override;
    void cancel() override;

    // A window of another program for the sheet to stay in front of, when no window of this
    // one is there to show it over. Read when the sheet starts.
    void setTransientParent(QWindow* window);

    // "Sign in to LinkedIn" and the host the page is on.
    static QString titleFor(const QUrl& pageURL);

    // The dialog and its view while it is shown.
    QDialog* dialog() const;
    QWebEngineView* view() const;

    // The web engine takes URL schemes only before the application object exists.
    static void registerCallbackScheme(const QString& scheme);
    static WebAuthenticationSessionFactory factory();

Q_SIGNALS:
    // The sheet's window is on the screen, once per sheet.
    void shown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void finish(std::optional<QUrl> callbackURL,
                std::optional<WebAuthenticationSessionError> error);
    void tearDown(bool now);

    bool m_started = false;
    bool m_shown = false;
    QPointer<QWindow> m_transientParent;
    QPointer<QDialog> m_dialog;
    QPointer<QWebEngineView> m_view;
    QPointer<QWebEngineProfile> m_profile;
};

} // namespace quillon
