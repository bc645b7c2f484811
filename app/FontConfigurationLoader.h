#pragma once

#include <thread>

namespace quillon {

// Reads the system's font configuration on a thread of its own. Parsing fontconfig's files is
// the largest single cost of the first window; started before the toolkit, it runs while the
// toolkit connects to the display, which mostly waits on the display server.
class FontConfigurationLoader {
public:
    FontConfigurationLoader();
    // Waits, so that the thread never outlives its owner.
    ~FontConfigurationLoader();
    FontConfigurationLoader(const FontConfigurationLoader&) = delete;
    FontConfigurationLoader& operator=(const FontConfigurationLoader&) = delete;

    // Returns once the configuration is read. Called before the first text is measured, the
    // toolkit then finds it ready instead of reading it a second time alongside.
    void wait();

private:
    std::thread m_thread;
};

} // namespace quillon
