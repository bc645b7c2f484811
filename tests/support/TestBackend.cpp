#include "tests/support/TestBackend.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace quillon::testsupport {

namespace {

standin::StandInBackend::Options options(std::chrono::milliseconds hold, std::string scheme) {
    standin::StandInBackend::Options options;
    options.maximumPollHold = hold;
    options.callbackScheme = std::move(scheme);
    options.printRequests = false;
    return options;
}

} // namespace

TestBackend::TestBackend(std::chrono::milliseconds maximumPollHold, std::string callbackScheme)
    : m_backend(options(maximumPollHold, std::move(callbackScheme))) {
    m_port = m_backend.bind("127.0.0.1", 0);
    if (m_port < 0) {
        throw std::runtime_error("the stand-in backend cannot bind a loopback port");
    }
    m_thread = std::thread([this] { m_backend.listen(); });
    // A stop before the server runs would be lost, and the thread never joined.
    while (!m_backend.isRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TestBackend::~TestBackend() {
    m_backend.stop();
    m_thread.join();
}

QUrl TestBackend::baseURL() const {
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_port));
}

} // namespace quillon::testsupport
