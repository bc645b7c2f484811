#include "tests/support/ScriptedServer.h"

#include <QString>
#include <httplib.h>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace quillon::testsupport {

ScriptedServer::Answer ScriptedServer::Answer::json(int status, std::string body) {
    return {Kind::normal, status, std::move(body), "application/json", 0, {}};
}

ScriptedServer::Answer ScriptedServer::Answer::text(int status, std::string body) {
    return {Kind::normal, status, std::move(body), "text/plain", 0, {}};
}

ScriptedServer::Answer ScriptedServer::Answer::dropConnection() {
    return {Kind::dropConnection, 200, {}, "application/json", 0, {}};
}

ScriptedServer::Answer ScriptedServer::Answer::hang() {
    return {Kind::hang, 200, {}, "application/json", 0, {}};
}

ScriptedServer::Answer ScriptedServer::Answer::huge(int status, std::size_t size) {
    return {Kind::huge, status, {}, "application/json", size, {}};
}

ScriptedServer::Answer ScriptedServer::Answer::redirect(int status, std::string location) {
    Answer answer = text(status, {});
    answer.headers.emplace_back("Location", std::move(location));
    return answer;
}

std::optional<std::string> ScriptedServer::Request::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (QString::fromStdString(key).compare(QString::fromStdString(name),
                                                Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

ScriptedServer::ScriptedServer()
    : m_server(std::make_unique<httplib::Server>()) {
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        Request recorded{request.method,
                         request.path,
                         request.target,
                         {request.headers.begin(), request.headers.end()},
                         request.body};
        {
            const std::lock_guard lock(m_mutex);
            m_requests.push_back(recorded);
        }
        respond(recorded, &response);
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port < 0) {
        throw std::runtime_error("the scripted server cannot bind a loopback port");
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // A stop before the server runs would be lost, and the thread never joined.
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ScriptedServer::~ScriptedServer() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server->stop();
    m_thread.join();
}

QUrl ScriptedServer::baseURL() const {
    return QUrl(u"http://127.0.0.1:%1"_s.arg(m_port));
}

void ScriptedServer::script(const std::string& path, std::vector<Answer> answers) {
    const std::lock_guard lock(m_mutex);
    m_scripts[path] = std::move(answers);
    m_served[path] = 0;
}

std::vector<ScriptedServer::Request> ScriptedServer::requests() const {
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<ScriptedServer::Request> ScriptedServer::requests(const std::string& path) const {
    std::vector<Request> matching;
    for (Request& request : requests()) {
        if (request.path == path) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

ScriptedServer::Answer ScriptedServer::next(const std::string& path) {
    const std::lock_guard lock(m_mutex);
    const auto it = m_scripts.find(path);
    if (it == m_scripts.end() || it->second.empty()) {
        return Answer::text(404, {});
    }
    std::size_t& served = m_served[path];
    Answer answer = it->second[std::min(served, it->second.size() - 1)];
    ++served;
    return answer;
}

void ScriptedServer::respond(const Request& request, void* opaque) {
    auto& response = *static_cast<httplib::Response*>(opaque);
    const Answer answer = next(request.path);
    response.status = answer.status;
    for (const auto& [name, value] : answer.headers) {
        response.set_header(name.c_str(), value.c_str());
    }
    switch (answer.kind) {
    case Answer::Kind::normal:
        response.set_content(answer.body, answer.contentType.c_str());
        break;
    case Answer::Kind::dropConnection:
        // A provider that gives up makes httplib close the connection after the headers.
        response.set_content_provider(
            1024, answer.contentType.c_str(),
            [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        break;
    case Answer::Kind::hang: {
        std::unique_lock lock(m_mutex);
        m_stopping.wait(lock, [this] { return m_stopped; });
        response.set_content("{}", "application/json");
        break;
    }
    case Answer::Kind::huge: {
        auto chunk = std::make_shared<std::string>(64 * 1024, 'x');
        response.set_content_provider(
            answer.size, answer.contentType.c_str(),
            [this, chunk](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                {
                    const std::lock_guard lock(m_mutex);
                    if (m_stopped) {
                        return false;
                    }
                }
                (void)offset;
                return sink.write(chunk->data(), std::min(length, chunk->size()));
            });
        break;
    }
    }
}

} // namespace quillon::testsupport
