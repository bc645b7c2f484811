#pragma once

#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace quillon {

// Catches the sign-in page's navigation to the app's callback scheme: the request is refused
// (nothing is ever loaded from it) and its URL handed on.
class CallbackSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override;

Q_SIGNALS:
    void callbackReached(const QUrl& url);
};

} // namespace quillon
