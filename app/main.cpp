#include "app/QuillonDesktopApp.h"
#include "core/app/AppBundle.h"
#include "core/app/AppContainer.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    // The start-up reads the token from the keychain; the keychain answers while the toolkit
    // starts.
    quillon::AppContainer::readTokenAhead(quillon::AppBundle::main());
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
