#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace quillon::standin {

// Stands in for the product's backend on one address: answers the whole backend contract
// (start, a sign-in page with demo members, the callback, the held poll, post, disconnect,
// account deletion, feedback), keeps and prints what it receives, publishes nothing, and can
// be told to fail any endpoint so that every error path can be seen. Thread-safe.
class StandInBackend {
public:
    struct Options {
        // The scheme the sign-in page finally sends the browser to.
        std::string callbackScheme = "quillon";
        // The longest a "pending" poll is held, whatever its "wait" asks for.
        std::chrono::milliseconds maximumPollHold = std::chrono::seconds(30);
        // One line per request on standard output.
        bool printRequests = true;
    };

    // An answer given instead of the real one. The body is the error record when `error` or
    // `errorDescription` is set, else plain text that is no record.
    struct Failure {
        int status = 500;
        std::optional<std::string> error;
        std::optional<std::string> errorDescription;
    };

    struct ReceivedRequest {
        std::string method;
        std::string path;
        // Path and query as sent, still encoded.
        std::string target;
        std::multimap<std::string, std::string> headers;
        std::string body;
        // The fields of a multipart body.
        std::map<std::string, std::string> formFields;

        std::optional<std::string> header(const std::string& name) const;
    };

    StandInBackend();
    explicit StandInBackend(Options options);
    ~StandInBackend();
    StandInBackend(const StandInBackend&) = delete;
    StandInBackend& operator=(const StandInBackend&) = delete;

    // Binds `host` on `port` (0: a free port chosen by the system); the bound port, or -1.
    int bind(const std::string& host, int port);
    // Serves until stop(); call after bind(), on a thread of its own.
    bool listen();
    // Ends listen(), releasing held polls at once.
    void stop();
    bool isRunning() const;

    // The backend contract's endpoints, which a failure can be set for.
    static const std::vector<std::string>& endpoints();
    // Answers `endpoint` (a path such as "/api/linkedin/post") with `failure` until cleared.
    void setFailure(const std::string& endpoint, Failure failure);
    void clearFailures();
    // Every poll answers "pending", however the sign-in went.
    void setPendingForever(bool pendingForever);
    // Script the sign-in page runs once it has loaded, as a person's clicks would (empty:
    // none). Drives the page in a browser that cannot be reached from the outside.
    void setSignInPageScript(std::string script);

    // The latest requests to the backend's endpoints, oldest first.
    std::vector<ReceivedRequest> received() const;
    std::vector<ReceivedRequest> received(const std::string& path) const;
    void clearReceived();

private:
    struct SignIn;
    using Handler = void (StandInBackend::*)(const httplib::Request&, httplib::Response&);

    void serve(const httplib::Request& request, Handler handler, httplib::Response& response);
    void record(const httplib::Request& request);
    std::optional<Failure> failureFor(const std::string& path) const;
    void print(const std::string& line) const;

    // The backend's endpoints, served through serve().
    void start(const httplib::Request& request, httplib::Response& response);
    void signInPage(const httplib::Request& request, httplib::Response& response);
    void callback(const httplib::Request& request, httplib::Response& response);
    void result(const httplib::Request& request, httplib::Response& response);
    void post(const httplib::Request& request, httplib::Response& response);
    void disconnect(const httplib::Request& request, httplib::Response& response);
    void deleteAccount(const httplib::Request& request, httplib::Response& response);
    void feedback(const httplib::Request& request, httplib::Response& response);
    void notFound(const httplib::Request& request, httplib::Response& response);
    // The tester's control page: neither recorded nor made to fail.
    void controlPage(const httplib::Request& request, httplib::Response& response);
    void controlFailures(const httplib::Request& request, httplib::Response& response);
    void controlPending(const httplib::Request& request, httplib::Response& response);

    const Options m_options;
    const std::unique_ptr<httplib::Server> m_server;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    bool m_pendingForever = false;
    std::string m_signInPageScript;
    std::map<std::string, Failure> m_failures;
    std::map<std::string, std::shared_ptr<SignIn>> m_signIns;
    std::deque<ReceivedRequest> m_received;
    unsigned m_posts = 0;
};

} // namespace quillon::standin
