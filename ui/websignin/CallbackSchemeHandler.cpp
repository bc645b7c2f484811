#include "ui/websignin/CallbackSchemeHandler.h"

#include <QWebEngineUrlRequestJob>

namespace quillon {

void CallbackSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
}

} // namespace quillon
