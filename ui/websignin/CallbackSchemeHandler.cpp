#include "ui/websignin/CallbackSchemeHandler.h"

#include <QWebEngineUrlRequestJob>

namespace quillon {

void CallbackSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    job->fail(QWebEngineUrlRequestJob::RequestAborted);
    Q_EMIT callbackReached(url);
}

} // namespace quillon
