#include "app/QuillonDesktopApp.h"
#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"
#include "ui/websignin/WebEngineAuthenticationSession.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>

namespace {

// The web engine takes URL schemes only before the application object exists, so the sign-in
// callback scheme is read ahead here; the start-up reads and checks the configuration again in
// its own order and stops the program there when it is broken.
void registerSignInCallbackScheme() {
    const auto path = quillon::AppBundle::main().pathForResource(QStringLiteral("AppConfiguration"),
                                                                 QStringLiteral("plist"));
    QFile file(path.value_or(QString()));
    if (!path || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    QString error;
    if (const auto configuration = quillon::AppConfiguration::decode(file.readAll(), &error)) {
        quillon::WebEngineAuthenticationSession::registerCallbackScheme(
            configuration->linkedIn.callbackURLScheme);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    registerSignInCallbackScheme();
    // The sign-in sheet's web engine, loaded later, shares OpenGL contexts with the window.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.tovrel.quillon"));
    // The light appearance looks the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    quillon::QuillonDesktopApp app(quillon::AppBundle::main());
    app.showWindow();
    return QApplication::exec();
}
