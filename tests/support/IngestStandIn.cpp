#include "tests/support/IngestStandIn.h"

#include <QJsonDocument>
#include <chrono>
#include <httplib.h>

using namespace Qt::StringLiterals;

namespace signalpost::testsupport {

QJsonArray IngestStandIn::Request::bodies() const {
    return QJsonDocument::fromJson(body).array();
}

IngestStandIn::IngestStandIn()
    : m_server(std::make_unique<httplib::Server>()) {
    m_server->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Request recorded;
        recorded.method = QByteArray::fromStdString(request.method);
        recorded.path = QString::fromStdString(request.path);
        recorded.contentType = QByteArray::fromStdString(request.get_header_value("Content-Type"));
        recorded.body = QByteArray::fromStdString(request.body);

        std::unique_lock lock(m_mutex);
        int status = m_status;
        if (!m_nextStatuses.empty()) {
            status = m_nextStatuses.front();
            m_nextStatuses.pop_front();
        }
        recorded.answeredStatus = m_holding ? 0 : status;
        const qsizetype index = m_requests.size();
        m_requests.append(recorded);
        m_released.wait(lock, [this] { return !m_holding || m_stopping; });
        m_requests[index].answeredStatus = status;
        response.status = status;
        response.set_content("{\"accepted\":true}", "application/json");
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    // The socket listens from bind on, so requests queue up before the accept loop runs.
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is a no-op until the accept loop runs, so a quick teardown would hang in join.
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

IngestStandIn::~IngestStandIn() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_released.notify_all();
    m_server->stop();
    m_thread.join();
}

QUrl IngestStandIn::baseURL() const {
    return QUrl(u"http://127.0.0.1:%1/"_s.arg(m_port));
}

void IngestStandIn::answerWith(int status) {
    std::lock_guard lock(m_mutex);
    m_status = status;
}

void IngestStandIn::answerNextWith(const QList<int>& statuses) {
    std::lock_guard lock(m_mutex);
    m_nextStatuses.insert(m_nextStatuses.end(), statuses.cbegin(), statuses.cend());
}

void IngestStandIn::holdAnswers(bool hold) {
    {
        std::lock_guard lock(m_mutex);
        m_holding = hold;
    }
    m_released.notify_all();
}

QList<IngestStandIn::Request> IngestStandIn::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int IngestStandIn::requestCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_requests.size());
}

QJsonArray IngestStandIn::allBodies() const {
    QJsonArray all;
    for (const Request& request : requests()) {
        for (const QJsonValue& body : request.bodies()) {
            all.append(body);
        }
    }
    return all;
}

} // namespace signalpost::testsupport
