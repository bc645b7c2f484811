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

    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    ahead.finishFonts();
    app.showWindow();
    return QApplication::exec();
}
