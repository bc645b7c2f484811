#pragma once

#include "core/app/AppBundle.h"
#include "core/app/AppConfiguration.h"

#include <QString>
#include <thread>
#include <variant>

namespace quillon {

// The part of the start-up that needs no toolkit, begun before QApplication so that it runs
// while the toolkit connects to the display (which mostly waits on the display server): the
// font configuration is read on a thread of its own (parsing fontconfig's files is the first
// window's largest single cost), the bundle's configuration is read, and the token read from
// the keychain begins on another thread, for the container to take up.
class StartUpAhead {
public:
    StartUpAhead();
    // Waits for the font thread, so that it never outlives its owner.
    ~StartUpAhead();
    StartUpAhead(const StartUpAhead&) = delete;
    StartUpAhead& operator=(const StartUpAhead&) = delete;

    const AppBundle& bundle() const { return m_bundle; }
    // The configuration as read, for QuillonDesktopApp, which stops the program at its usual
    // point when it could not be. Taken once.
    std::variant<AppConfiguration, QString> takeConfiguration();

    // Once QApplication exists and before the container and its window: waits for the font
    // configuration (the toolkit then finds it ready instead of reading it a second time
    // alongside) and names a generic desktop font by the family that draws it.
    void finishFonts();

private:
    void waitForFontConfiguration();

    std::thread m_fontConfiguration;
    AppBundle m_bundle;
    std::variant<AppConfiguration, QString> m_configuration;
};

} // namespace quillon
