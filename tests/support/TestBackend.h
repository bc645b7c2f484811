#pragma once

#include "backend/StandInBackend.h"

#include <QUrl>
#include <thread>

namespace quillon::testsupport {

// The stand-in backend served in-process on 127.0.0.1 at a port the system picks, quiet, with
// polls held at most `maximumPollHold`. Stops with the object.
class TestBackend {
public:
    explicit TestBackend(std::chrono::milliseconds maximumPollHold = std::chrono::milliseconds(0),
                         std::string callbackScheme = "quillon");
    ~TestBackend();
    TestBackend(const TestBackend&) = delete;
    TestBackend& operator=(const TestBackend&) = delete;

    standin::StandInBackend* operator->() { return &m_backend; }
    int port() const { return m_port; }
    QUrl baseURL() const;

private:
    standin::StandInBackend m_backend;
    int m_port = -1;
    std::thread m_thread;
};

} // namespace quillon::testsupport
