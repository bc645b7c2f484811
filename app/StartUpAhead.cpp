#include "app/StartUpAhead.h"

#include "core/app/AppContainer.h"
#include "ui/theme/Typography.h"

#include <fontconfig/fontconfig.h>
#include <utility>

namespace quillon {

// FcInit makes the configuration current for the whole process, where Qt's font database takes
// it up; a failure leaves Qt to try again and report it.
StartUpAhead::StartUpAhead()
    : m_fontConfiguration([] { FcInit(); })
    , m_bundle(AppBundle::main())
    , m_configuration(AppConfiguration::read(m_bundle)) {
    if (const auto* read = std::get_if<AppConfiguration>(&m_configuration)) {
        AppContainer::readTokenAhead(*read);
    }
}

StartUpAhead::~StartUpAhead() {
    waitForFontConfiguration();
}

std::variant<AppConfiguration, QString> StartUpAhead::takeConfiguration() {
    return std::move(m_configuration);
}

void StartUpAhead::finishFonts() {
    waitForFontConfiguration();
    resolveGenericDesktopFontFamily();
}

void StartUpAhead::waitForFontConfiguration() {
    if (m_fontConfiguration.joinable()) {
        m_fontConfiguration.join();
    }
}

} // namespace quillon
