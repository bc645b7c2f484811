#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace quillon {

// Watches the main thread from a thread of its own: it posts a ping to the main event loop
// and, when the ping is not answered within the timeout, reports one hang; the next hang is
// reported only after the main thread has answered again. Needs a QCoreApplication.
class AppHangWatchdog {
public:
    using HangHandler = std::function<void(std::chrono::milliseconds timeout)>;

    AppHangWatchdog(std::chrono::milliseconds timeout, HangHandler onHang);
    // Stops and joins the watching thread.
    ~AppHangWatchdog();
    AppHangWatchdog(const AppHangWatchdog&) = delete;
    AppHangWatchdog& operator=(const AppHangWatchdog&) = delete;

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace quillon
