#pragma once

#include "core/app/AppConfiguration.h"

#include <QString>
#include <memory>
#include <optional>
#include <variant>

namespace quillon {

class AppBundle;
class AppContainer;
class MainWindow;

// The application: creating it runs the whole start-up once, on the main thread, in a fixed
// order (crash reporting, configuration, analytics, "app_opened", the container); then it
// opens the one window over the container it keeps for the life of the process.
class QuillonDesktopApp {
public:
    // Stops the program when the bundle's configuration is missing or invalid.
    explicit QuillonDesktopApp(const AppBundle& bundle);
    // With the bundle's configuration already read (AppConfiguration::read); stops at the same
    // point of the start-up when it could not be.
    QuillonDesktopApp(const AppBundle& bundle,
                      std::variant<AppConfiguration, QString> configuration);
    ~QuillonDesktopApp();

    AppContainer& container() const { return *m_container; }

    // Builds and shows the window; the app keeps it. The application's icon follows once the
    // event loop runs.
    MainWindow& showWindow();

private:
    std::unique_ptr<AppContainer> m_container;
    std::unique_ptr<MainWindow> m_window;
    std::optional<QString> m_iconFallback;
    bool m_iconSet = false;
    bool m_storageNoticeShown = false;
};

} // namespace quillon
