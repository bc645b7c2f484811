#include "app/QuillonDesktopApp.h"
#include "app/StartUpAhead.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    quillon::StartUpAhead ahead;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.tovrel.quillon"));
    // The light appearance looks the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // The fonts first: on a signed-in start the token read ahead may still be under way, and
    // the container waits for it.
    ahead.finishFonts();
    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    app.showWindow();
    return QApplication::exec();
}
