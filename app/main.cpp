#include "app/FontConfigurationLoader.h"
#include "app/QuillonDesktopApp.h"
#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"
#include "core/app/AppContainer.h"
#include "ui/theme/Typography.h"

#include <QApplication>
#include <QStyleFactory>
#include <variant>

int main(int argc, char* argv[]) {
    quillon::FontConfigurationLoader fontConfiguration;
    const quillon::AppBundle bundle = quillon::AppBundle::main();
    auto configuration = quillon::AppConfiguration::read(bundle);
    // The start-up reads the token from the keychain; the keychain answers while the toolkit
    // starts. A configuration that could not be read stops the start-up at its usual point.
    if (const auto* read = std::get_if<quillon::AppConfiguration>(&configuration)) {
        quillon::AppContainer::readTokenAhead(*read);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("dev.tovrel.quillon"));
    // The light appearance looks the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    quillon::QuillonDesktopApp app(bundle, std::move(configuration));
    fontConfiguration.wait();
    quillon::resolveGenericDesktopFontFamily();
    app.showWindow();
    return QApplication::exec();
}
