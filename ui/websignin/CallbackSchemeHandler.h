#pragma once

#include <QWebEngineUrlSchemeHandler>

namespace quillon {

// Refuses every request to the app's callback scheme, so nothing is ever loaded from it: a
// frame, an image or a script of the page asking for it gets an error. Only the sheet's own
// main-frame navigation to the scheme ends the sign-in, and that one never gets here.
class CallbackSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

} // namespace quillon
