#pragma once

#include <QUrl>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quillon::testsupport {

// A loopback HTTP server that answers each path from a script, for answers the stand-in
// backend is never made to give: odd statuses, malformed or huge bodies, a dropped
// connection, no answer at all. Records every request. Stops with the object.
class ScriptedServer {
public:
    struct Answer {
        enum class Kind {
            normal,
            // Sends the headers, then closes the connection before the body.
            dropConnection,
            // Answers nothing until the server stops.
            hang,
            // A body of `size` bytes of "x", streamed.
            huge,
        };

        Kind kind = Kind::normal;
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::size_t size = 0;
        std::vector<std::pair<std::string, std::string>> headers;

        static Answer json(int status, std::string body);
        static Answer text(int status, std::string body);
        static Answer dropConnection();
        static Answer hang();
        static Answer huge(int status, std::size_t size);
        static Answer redirect(int status, std::string location);
    };

    struct Request {
        std::string method;
        std::string path;
        // Path and query as sent, still encoded.
        std::string target;
        std::multimap<std::string, std::string> headers;
        std::string body;

        std::optional<std::string> header(const std::string& name) const;
    };

    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    QUrl baseURL() const;

    // Requests to `path` (any method) get these answers in turn; the last one repeats.
    // Unscripted paths answer 404 with an empty body.
    void script(const std::string& path, std::vector<Answer> answers);

    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& path) const;

private:
    Answer next(const std::string& path);
    void respond(const Request& request, void* response);

    std::unique_ptr<httplib::Server> m_server;
    int m_port = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    std::map<std::string, std::vector<Answer>> m_scripts;
    std::map<std::string, std::size_t> m_served;
    std::vector<Request> m_requests;
};

} // namespace quillon::testsupport
