#pragma once

#include <QString>
#include <QUrl>
#include <httplib.h>
#include <thread>

namespace quillon::testing {

// An HTTP server on 127.0.0.1 at a port the system picks, answering on its own thread with
// the handlers registered on `http` before start(). Stops when it goes out of scope.
class LoopbackServer {
public:
    LoopbackServer() = default;
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer() {
        http.stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void start() {
        // One request per connection: no idle connection holds up the stop.
        http.set_keep_alive_max_count(1);
        m_port = http.bind_to_any_port("127.0.0.1");
        // Already listening: connections made before the accept loop runs wait in the backlog.
        m_thread = std::thread([this] { http.listen_after_bind(); });
    }

    int port() const { return m_port; }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

    httplib::Server http;

private:
    int m_port = 0;
    std::thread m_thread;
};

} // namespace quillon::testing
