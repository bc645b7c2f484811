#include "crashreporting/AppHangWatchdog.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <mutex>

namespace quillon {

struct AppHangWatchdog::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    unsigned long long answered = 0;
};

AppHangWatchdog::AppHangWatchdog(std::chrono::milliseconds timeout, HangHandler onHang)
    : m_state(std::make_shared<State>()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    // Pings often enough that a hang is seen soon after the timeout, and no more often.
    const auto interval =
        std::min<std::chrono::milliseconds>(timeout / 4, std::chrono::milliseconds(500));
    m_thread = std::thread([state = m_state, app, timeout, interval, onHang = std::move(onHang)] {
        unsigned long long ping = 0;
        std::unique_lock lock(state->mutex);
        while (!state->stopping) {
            const unsigned long long sent = ++ping;
            lock.unlock();
            QMetaObject::invokeMethod(
                app,
                [state, sent] {
                    std::lock_guard answerLock(state->mutex);
                    state->answered = sent;
                    state->changed.notify_all();
                },
                Qt::QueuedConnection);
            lock.lock();
            const auto answeredOrStopping = [&] {
                return state->stopping || state->answered >= sent;
            };
            if (!state->changed.wait_for(lock, timeout, answeredOrStopping)) {
                lock.unlock();
                onHang(timeout);
                lock.lock();
                state->changed.wait(lock, answeredOrStopping);
            }
            state->changed.wait_for(lock, interval, [&] { return state->stopping; });
        }
    });
}

AppHangWatchdog::~AppHangWatchdog() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

} // namespace quillon
