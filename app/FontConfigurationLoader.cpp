#include "app/FontConfigurationLoader.h"

#include <fontconfig/fontconfig.h>

namespace quillon {

// FcInit makes the configuration current for the whole process, where Qt's font database
// takes it up; a failure leaves Qt to try again and report it.
FontConfigurationLoader::FontConfigurationLoader()
    : m_thread([] { FcInit(); }) {}

FontConfigurationLoader::~FontConfigurationLoader() {
    wait();
}

void FontConfigurationLoader::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

} // namespace quillon
