#include "backend/StandInBackend.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QUuid>
#include <cstdio>
#include <httplib.h>

using namespace Qt::StringLiterals;

namespace quillon::standin {

namespace {

constexpr std::size_t keptRequests = 64;

enum class Phase { pending, done, failed };

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void answerJson(httplib::Response& response, int status, const QJsonObject& object) {
    response.status = status;
    response.set_content(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
                         "application/json");
}

void answerError(httplib::Response& response, int status, const char* error,
                 const QString& description) {
    answerJson(response, status,
               {{u"error"_s, QLatin1String(error)}, {u"errorDescription"_s, description}});
}

std::string escapeHtml(const std::string& text) {
    return qs(text).toHtmlEscaped().toStdString();
}

std::string param(const httplib::Request& request, const char* name) {
    return request.has_param(name) ? request.get_param_value(name) : std::string();
}

// The body as one JSON object; none for anything else.
std::optional<QJsonObject> jsonObject(const std::string& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(body.data(), qsizetype(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

// The member a disconnect or account deletion names; answers 400 and gives none otherwise.
std::optional<std::string> linkedInIdOf(const std::string& body, httplib::Response& response) {
    const auto json = jsonObject(body);
    if (!json || !json->value(u"linkedInId"_s).isString()) {
        answerError(response, 400, "invalid_request", u"The request needs a linkedInId."_s);
        return std::nullopt;
    }
    return json->value(u"linkedInId"_s).toString().toStdString();
}

// httplib splits a multipart body into parts and drops the bytes; the stand-in must keep them
// exactly as sent, so the type is set aside before httplib reads the body. The request object
// itself is not const: httplib owns it and hands it out by const reference.
constexpr const char* setAsideContentType = "X-Stand-In-Content-Type";

void keepMultipartBodyRaw(const httplib::Request& constRequest) {
    auto& request = const_cast<httplib::Request&>(constRequest);
    const std::string type = request.get_header_value("Content-Type");
    if (QString::fromStdString(type).startsWith(u"multipart/", Qt::CaseInsensitive)) {
        request.headers.erase("Content-Type");
        request.headers.emplace(setAsideContentType, type);
        request.headers.emplace("Content-Type", "application/octet-stream");
    }
}

std::string contentType(const httplib::Request& request) {
    return request.has_header(setAsideContentType) ? request.get_header_value(setAsideContentType)
                                                   : request.get_header_value("Content-Type");
}

void restoreContentType(std::multimap<std::string, std::string>& headers) {
    const auto setAside = headers.find(setAsideContentType);
    if (setAside == headers.end()) {
        return;
    }
    const std::string type = setAside->second;
    headers.erase(setAside);
    headers.erase("Content-Type");
    headers.emplace("Content-Type", type);
}

// The fields of a multipart/form-data body, by name; none when the body is not one.
std::optional<std::map<std::string, std::string>> multipartFields(const std::string& contentType,
                                                                  const std::string& body) {
    const QString type = qs(contentType);
    if (!type.startsWith(u"multipart/form-data", Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    const qsizetype at = type.indexOf(u"boundary=", 0, Qt::CaseInsensitive);
    if (at < 0) {
        return std::nullopt;
    }
    QString boundary = type.mid(at + 9).section(u';', 0, 0).trimmed();
    if (boundary.size() >= 2 && boundary.startsWith(u'"') && boundary.endsWith(u'"')) {
        boundary = boundary.mid(1, boundary.size() - 2);
    }
    if (boundary.isEmpty()) {
        return std::nullopt;
    }
    const std::string delimiter = "--" + boundary.toStdString();
    std::size_t position = body.find(delimiter);
    if (position == std::string::npos) {
        return std::nullopt;
    }
    position += delimiter.size();
    std::map<std::string, std::string> fields;
    for (;;) {
        if (body.compare(position, 2, "--") == 0) {
            return fields;
        }
        if (body.compare(position, 2, "\r\n") != 0) {
            return std::nullopt;
        }
        position += 2;
        const std::size_t headersEnd = body.find("\r\n\r\n", position);
        const std::size_t next = body.find("\r\n" + delimiter, position);
        if (headersEnd == std::string::npos || next == std::string::npos || next < headersEnd) {
            return std::nullopt;
        }
        static const QRegularExpression disposition(
            u"^content-disposition:\\s*form-data;(?:.*;)?\\s*name=\"([^\"]*)\""_s,
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
        const auto match = disposition.match(qs(body.substr(position, headersEnd - position)));
        if (!match.hasMatch()) {
            return std::nullopt;
        }
        fields[match.captured(1).toStdString()] =
            body.substr(headersEnd + 4, next - headersEnd - 4);
        position = next + 2 + delimiter.size();
    }
}

std::string clipped(const QString& text, qsizetype length = 60) {
    QString line = text;
    line.replace(u'\n', u' ');
    return (line.size() > length ? line.left(length) + u'…' : line).toStdString();
}

// Demo members the sign-in page offers; every field stays editable.
struct DemoMember {
    const char* name;
    const char* memberId;
    const char* headline;
};
constexpr DemoMember demoMembers[] = {
    {"Ada Lovelace", "demo-ada", "Analyst of engines"},
    {"Grace Hopper", "demo-grace", "Compiler pioneer and rear admiral"},
    {"Alan Turing", "demo-alan", ""},
};

const char* pageStyle = R"(<style>
body{font-family:sans-serif;background:#f2f0e8;color:#111210;margin:0;padding:24px}
main{max-width:460px;margin:auto;background:#fffdf7;border-radius:8px;padding:20px}
label{display:block;margin:10px 0 4px}input,select{width:100%;box-sizing:border-box;padding:6px}
button{margin-top:16px;padding:8px 14px;border:0;border-radius:6px;background:#c9f86a}
button.secondary{background:#e4e2da}table{width:100%;font-size:13px}td{padding:2px 4px}
</style>)";

} // namespace

struct StandInBackend::SignIn {
    Phase phase = Phase::pending;
    QJsonObject token;
    QString error;
    QString errorDescription;
};

std::optional<std::string> StandInBackend::ReceivedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (QString::fromStdString(key).compare(qs(name), Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

StandInBackend::StandInBackend()
    : StandInBackend(Options()) {}

StandInBackend::StandInBackend(Options options)
    : m_options(std::move(options))
    , m_server(std::make_unique<httplib::Server>()) {
    // Held polls take a worker each; leave room for the other requests beside them.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(16); };
    m_server->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        keepMultipartBodyRaw(request);
        return httplib::Server::HandlerResponse::Unhandled;
    });

    const auto served = [this](Handler handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            serve(request, handler, response);
        };
    };
    const auto control = [this](Handler handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            (this->*handler)(request, response);
        };
    };
    m_server->Get("/api/linkedin/cli/start", served(&StandInBackend::start));
    m_server->Get("/signin", served(&StandInBackend::signInPage));
    m_server->Get("/api/linkedin/callback", served(&StandInBackend::callback));
    m_server->Get("/api/linkedin/cli/result", served(&StandInBackend::result));
    m_server->Post("/api/linkedin/post", served(&StandInBackend::post));
    m_server->Post("/api/linkedin/disconnect", served(&StandInBackend::disconnect));
    m_server->Post("/api/account/delete", served(&StandInBackend::deleteAccount));
    m_server->Post("/api/feedback", served(&StandInBackend::feedback));
    m_server->Get("/", control(&StandInBackend::controlPage));
    m_server->Post("/_standin/failures", control(&StandInBackend::controlFailures));
    m_server->Post("/_standin/pending-forever", control(&StandInBackend::controlPending));
    m_server->Get(".*", served(&StandInBackend::notFound));
    m_server->Post(".*", served(&StandInBackend::notFound));
}

StandInBackend::~StandInBackend() {
    stop();
}

void StandInBackend::serve(const httplib::Request& request, Handler handler,
                           httplib::Response& response) {
    record(request);
    if (const auto failure = failureFor(request.path)) {
        response.status = failure->status;
        if (failure->error || failure->errorDescription) {
            QJsonObject record;
            if (failure->error) {
                record.insert(u"error"_s, qs(*failure->error));
            }
            if (failure->errorDescription) {
                record.insert(u"errorDescription"_s, qs(*failure->errorDescription));
            }
            answerJson(response, failure->status, record);
        } else {
            response.set_content("Simulated failure", "text/plain");
        }
    } else {
        (this->*handler)(request, response);
    }
    // httplib fills in 200 after the handler when none was set.
    print(request.method + ' ' + request.path + " -> " +
          std::to_string(response.status < 0 ? 200 : response.status));
}

int StandInBackend::bind(const std::string& host, int port) {
    if (port == 0) {
        return m_server->bind_to_any_port(host);
    }
    return m_server->bind_to_port(host, port) ? port : -1;
}

bool StandInBackend::listen() {
    return m_server->listen_after_bind();
}

void StandInBackend::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_server->stop();
}

bool StandInBackend::isRunning() const {
    return m_server->is_running();
}

const std::vector<std::string>& StandInBackend::endpoints() {
    static const std::vector<std::string> contract{"/api/linkedin/cli/start",
                                                   "/api/linkedin/callback",
                                                   "/api/linkedin/cli/result",
                                                   "/api/linkedin/post",
                                                   "/api/linkedin/disconnect",
                                                   "/api/account/delete",
                                                   "/api/feedback"};
    return contract;
}

void StandInBackend::setFailure(const std::string& endpoint, Failure failure) {
    const std::lock_guard lock(m_mutex);
    m_failures[endpoint] = std::move(failure);
}

void StandInBackend::clearFailures() {
    const std::lock_guard lock(m_mutex);
    m_failures.clear();
}

void StandInBackend::setSignInPageScript(std::string script) {
    std::lock_guard lock(m_mutex);
    m_signInPageScript = std::move(script);
}

void StandInBackend::setPendingForever(bool pendingForever) {
    {
        const std::lock_guard lock(m_mutex);
        m_pendingForever = pendingForever;
    }
    m_changed.notify_all();
}

std::vector<StandInBackend::ReceivedRequest> StandInBackend::received() const {
    const std::lock_guard lock(m_mutex);
    return {m_received.begin(), m_received.end()};
}

std::vector<StandInBackend::ReceivedRequest>
StandInBackend::received(const std::string& path) const {
    std::vector<ReceivedRequest> matching;
    for (ReceivedRequest& request : received()) {
        if (request.path == path) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

void StandInBackend::clearReceived() {
    const std::lock_guard lock(m_mutex);
    m_received.clear();
}

void StandInBackend::record(const httplib::Request& request) {
    ReceivedRequest received;
    received.method = request.method;
    received.path = request.path;
    received.target = request.target;
    received.headers = {request.headers.begin(), request.headers.end()};
    restoreContentType(received.headers);
    received.body = request.body;
    if (const auto fields = multipartFields(contentType(request), request.body)) {
        received.formFields = *fields;
    }
    const std::lock_guard lock(m_mutex);
    m_received.push_back(std::move(received));
    while (m_received.size() > keptRequests) {
        m_received.pop_front();
    }
}

std::optional<StandInBackend::Failure> StandInBackend::failureFor(const std::string& path) const {
    const std::lock_guard lock(m_mutex);
    const auto it = m_failures.find(path);
    return it == m_failures.end() ? std::nullopt : std::optional<Failure>(it->second);
}

void StandInBackend::print(const std::string& line) const {
    if (!m_options.printRequests) {
        return;
    }
    static std::mutex output;
    const std::lock_guard lock(output);
    std::fprintf(stdout, "quillon-backend: %s\n", line.c_str());
    std::fflush(stdout);
}

void StandInBackend::start(const httplib::Request& request, httplib::Response& response) {
    const QString state = QUuid::createUuid().toString(QUuid::Id128);
    const QString base = u"http://"_s + qs(request.get_header_value("Host"));
    {
        const std::lock_guard lock(m_mutex);
        m_signIns[state.toStdString()] = std::make_shared<SignIn>();
    }
    answerJson(response, 200,
               {{u"authUrl"_s, base + u"/signin?state="_s + state},
                {u"state"_s, state},
                {u"redirectUri"_s, base + u"/api/linkedin/callback"_s},
                {u"pollUrl"_s, base + u"/api/linkedin/cli/result?state="_s + state}});
}

void StandInBackend::signInPage(const httplib::Request& request, httplib::Response& response) {
    const std::string state = param(request, "state");
    bool known = false;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_signIns.find(state);
        known = it != m_signIns.end() && it->second->phase == Phase::pending;
    }
    if (!known) {
        response.status = 404;
        response.set_content(std::string("<!doctype html><meta charset=utf-8>") + pageStyle +
                                 "<main><h2>Sign-in not found</h2><p>This sign-in is unknown or "
                                 "has already ended. Start again from Quillon.</p></main>",
                             "text/html; charset=utf-8");
        return;
    }
    std::string options;
    for (const DemoMember& member : demoMembers) {
        options += std::string("<option data-name=\"") + escapeHtml(member.name) +
                   "\" data-member-id=\"" + escapeHtml(member.memberId) + "\" data-headline=\"" +
                   escapeHtml(member.headline) + "\">" + escapeHtml(member.name) + "</option>";
    }
    const DemoMember& first = demoMembers[0];
    std::string page = std::string("<!doctype html><meta charset=utf-8><title>Sign in to LinkedIn "
                                   "(stand-in)</title>") +
                       pageStyle +
                       "<main><h2>Sign in (stand-in)</h2>"
                       "<p>No real LinkedIn account is used: choose a demo member.</p>"
                       "<form id=signin method=get action=\"/api/linkedin/callback\">"
                       "<input type=hidden name=state value=\"" +
                       escapeHtml(state) +
                       "\">"
                       "<label for=member>Demo member</label><select id=member>" +
                       options +
                       "</select>"
                       "<label for=name>Name</label><input id=name name=name value=\"" +
                       escapeHtml(first.name) +
                       "\">"
                       "<label for=memberId>Member ID</label><input id=memberId name=memberId "
                       "value=\"" +
                       escapeHtml(first.memberId) +
                       "\">"
                       "<label for=headline>Headline</label><input id=headline name=headline "
                       "value=\"" +
                       escapeHtml(first.headline) +
                       "\">"
                       "<label for=pictureUrl>Picture address (optional)</label>"
                       "<input id=pictureUrl name=pictureUrl type=url>"
                       "<label for=email>E-mail (optional)</label>"
                       "<input id=email name=email type=email>"
                       "<button id=allow type=submit>Sign in</button> "
                       "<button id=decline class=secondary type=submit name=error "
                       "value=user_cancelled_login>Decline</button></form></main>"
                       "<script>document.getElementById('member').onchange=function(){"
                       "var o=this.selectedOptions[0];"
                       "document.getElementById('name').value=o.dataset.name;"
                       "document.getElementById('memberId').value=o.dataset.memberId;"
                       "document.getElementById('headline').value=o.dataset.headline;};</script>";
    {
        std::lock_guard lock(m_mutex);
        if (!m_signInPageScript.empty()) {
            page +=
                "<script>addEventListener('load',function(){" + m_signInPageScript + "});</script>";
        }
    }
    response.set_content(page, "text/html; charset=utf-8");
}

void StandInBackend::callback(const httplib::Request& request, httplib::Response& response) {
    const std::string state = param(request, "state");
    const QString name = qs(param(request, "name")).trimmed();
    const QString memberId = qs(param(request, "memberId")).trimmed();
    const bool declined = request.has_param("error");
    {
        // One lock from the check to the outcome, so that a page sent twice ends the sign-in once.
        const std::lock_guard lock(m_mutex);
        const auto it = m_signIns.find(state);
        if (it == m_signIns.end() || it->second->phase != Phase::pending) {
            answerError(response, 400, "unknown_state",
                        u"This sign-in is unknown or has already ended."_s);
            return;
        }
        if (!declined && (name.isEmpty() || memberId.isEmpty())) {
            answerError(response, 400, "invalid_request",
                        u"A demo member needs a name and a member ID."_s);
            return;
        }
        SignIn& signIn = *it->second;
        if (declined) {
            signIn.phase = Phase::failed;
            signIn.error = qs(param(request, "error"));
            signIn.errorDescription = u"The member declined to sign in."_s;
        } else {
            QJsonObject profile{{u"memberId"_s, memberId}, {u"name"_s, name}};
            for (const char* key : {"headline", "pictureUrl", "email"}) {
                const QString value = qs(param(request, key)).trimmed();
                if (!value.isEmpty()) {
                    profile.insert(QLatin1String(key), value);
                }
            }
            signIn.phase = Phase::done;
            signIn.token = {
                {u"accessToken"_s, u"standin-%1"_s.arg(QRandomGenerator::global()->generate64(), 16,
                                                       16, QLatin1Char('0'))},
                {u"tokenType"_s, u"Bearer"_s},
                {u"scope"_s, u"openid profile email w_member_social"_s},
                {u"expiresIn"_s, 5183999},
                {u"profile"_s, profile},
                {u"connectedAt"_s,
                 QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-dd'T'HH:mm:ss'Z'"_s)},
            };
        }
    }
    m_changed.notify_all();
    print(declined ? "sign-in declined" : "signed in as " + memberId.toStdString());

    const std::string target = m_options.callbackScheme + "://linkedin/callback?state=" +
                               httplib::detail::encode_query_param(state);
    response.set_content(std::string("<!doctype html><meta charset=utf-8>"
                                     "<meta http-equiv=refresh content=\"0;url=") +
                             escapeHtml(target) + "\">" + pageStyle + "<main><h2>" +
                             (declined ? "Sign-in declined" : "Signed in") + "</h2><p><a href=\"" +
                             escapeHtml(target) + "\">Return to Quillon</a></p></main>",
                         "text/html; charset=utf-8");
}

void StandInBackend::result(const httplib::Request& request, httplib::Response& response) {
    const std::string state = param(request, "state");
    const auto wait = std::chrono::seconds(
        std::clamp(QString::fromStdString(param(request, "wait")).toInt(), 0, 60));
    const auto deadline = std::chrono::steady_clock::now() +
                          std::min<std::chrono::milliseconds>(wait, m_options.maximumPollHold);

    std::unique_lock lock(m_mutex);
    const auto it = m_signIns.find(state);
    if (it == m_signIns.end()) {
        lock.unlock();
        answerError(response, 404, "unknown_state",
                    u"This sign-in is unknown or has already ended."_s);
        return;
    }
    const std::shared_ptr<SignIn> signIn = it->second;
    m_changed.wait_until(lock, deadline, [&] {
        return m_stopping || (!m_pendingForever && signIn->phase != Phase::pending);
    });
    if (m_pendingForever || signIn->phase == Phase::pending) {
        lock.unlock();
        answerJson(response, 200, {{u"status"_s, u"pending"_s}});
        return;
    }
    // The outcome is handed out once; the state then ends.
    m_signIns.erase(state);
    lock.unlock();
    if (signIn->phase == Phase::done) {
        answerJson(response, 200, {{u"status"_s, u"done"_s}, {u"token"_s, signIn->token}});
    } else {
        answerJson(response, 200,
                   {{u"status"_s, u"error"_s},
                    {u"error"_s, signIn->error},
                    {u"errorDescription"_s, signIn->errorDescription}});
    }
}

void StandInBackend::post(const httplib::Request& request, httplib::Response& response) {
    const auto fields = multipartFields(contentType(request), request.body);
    if (!fields) {
        answerError(response, 400, "invalid_request",
                    u"The post must be sent as multipart form data."_s);
        return;
    }
    auto field = [&fields](const char* name) {
        const auto it = fields->find(name);
        return it == fields->end() ? QString() : qs(it->second);
    };
    const QString accessToken = field("accessToken");
    const QString memberId = field("memberId");
    const QString commentary = field("commentary");
    if (accessToken.isEmpty() || memberId.isEmpty() || commentary.trimmed().isEmpty()) {
        answerError(response, 400, "invalid_request",
                    u"A post needs accessToken, memberId and commentary."_s);
        return;
    }
    unsigned number = 0;
    {
        const std::lock_guard lock(m_mutex);
        number = ++m_posts;
    }
    print("kept, not published: post " + std::to_string(number) + " by " + memberId.toStdString() +
          ": " + clipped(commentary));
    answerJson(response, 201, {{u"id"_s, u"urn:li:share:standin-%1"_s.arg(number)}});
}

void StandInBackend::disconnect(const httplib::Request& request, httplib::Response& response) {
    if (const auto memberId = linkedInIdOf(request.body, response)) {
        print("disconnected " + *memberId);
        answerJson(response, 200, {{u"ok"_s, true}});
    }
}

void StandInBackend::deleteAccount(const httplib::Request& request, httplib::Response& response) {
    if (const auto memberId = linkedInIdOf(request.body, response)) {
        print("deleted the account of " + *memberId);
        answerJson(response, 200, {{u"ok"_s, true}});
    }
}

void StandInBackend::feedback(const httplib::Request& request, httplib::Response& response) {
    const auto json = jsonObject(request.body);
    bool wellFormed = json.has_value();
    for (const char* key : {"name", "linkedInId", "email", "title", "message"}) {
        wellFormed = wellFormed && json->value(QLatin1String(key)).isString();
    }
    wellFormed = wellFormed && json->value(u"attachments"_s).isArray();
    if (!wellFormed) {
        answerError(response, 400, "invalid_request",
                    u"Feedback needs name, linkedInId, email, title, message and "
                    "attachments."_s);
        return;
    }
    if (json->value(u"message"_s).toString().trimmed().isEmpty()) {
        answerError(response, 400, "invalid_request", u"Feedback needs a message."_s);
        return;
    }
    std::string attachments;
    for (const QJsonValue& value : json->value(u"attachments"_s).toArray()) {
        const QJsonObject attachment = value.toObject();
        const QJsonValue filename = attachment.value(u"filename"_s);
        const QJsonValue content = attachment.value(u"content"_s);
        const auto decoded =
            content.isString()
                ? QByteArray::fromBase64Encoding(content.toString().toLatin1(),
                                                 QByteArray::AbortOnBase64DecodingErrors)
                : QByteArray::FromBase64Result{
                      {}, QByteArray::Base64DecodingStatus::IllegalInputLength};
        if (!value.isObject() || !filename.isString() || !decoded) {
            answerError(response, 400, "invalid_request",
                        u"Every attachment needs a filename and Base64 content."_s);
            return;
        }
        attachments += ' ' + filename.toString().toStdString() + " (" +
                       std::to_string(decoded.decoded.size()) + " bytes)";
    }
    print("feedback from \"" + json->value(u"name"_s).toString().toStdString() +
          "\": " + clipped(json->value(u"title"_s).toString()) + " / " +
          clipped(json->value(u"message"_s).toString()) + attachments);
    answerJson(response, 200, {{u"ok"_s, true}});
}

void StandInBackend::notFound(const httplib::Request&, httplib::Response& response) {
    answerError(response, 404, "not_found", u"No such endpoint."_s);
}

void StandInBackend::controlPage(const httplib::Request&, httplib::Response& response) {
    std::string failures;
    std::string requests;
    bool pendingForever = false;
    {
        const std::lock_guard lock(m_mutex);
        pendingForever = m_pendingForever;
        for (const auto& [endpoint, failure] : m_failures) {
            failures += "<tr><td>" + escapeHtml(endpoint) + "</td><td>" +
                        std::to_string(failure.status) + "</td><td>" +
                        escapeHtml(failure.error.value_or("")) + "</td><td>" +
                        escapeHtml(failure.errorDescription.value_or("")) + "</td></tr>";
        }
        for (auto it = m_received.rbegin(); it != m_received.rend(); ++it) {
            requests += "<tr><td>" + escapeHtml(it->method) + "</td><td>" + escapeHtml(it->path) +
                        "</td><td>" + std::to_string(it->body.size()) + " bytes</td></tr>";
        }
    }
    std::string endpoints;
    for (const std::string& endpoint : StandInBackend::endpoints()) {
        endpoints += "<option>" + endpoint + "</option>";
    }
    response.set_content(
        std::string("<!doctype html><meta charset=utf-8><title>Quillon stand-in backend</title>") +
            pageStyle +
            "<main><h2>Stand-in backend</h2><p>Publishes nothing; keeps and prints what it "
            "receives.</p><h3>Failures</h3><table>" +
            failures +
            "</table><form method=post action=\"/_standin/failures\">"
            "<label>Endpoint</label><select name=endpoint>" +
            endpoints +
            "</select><label>Status</label><input name=status value=500>"
            "<label>error</label><input name=error value=server_error>"
            "<label>errorDescription (leave both empty for a body that is no error record)"
            "</label><input name=errorDescription value=\"The stand-in was told to fail.\">"
            "<button name=action value=set>Fail this endpoint</button> "
            "<button class=secondary name=action value=clear>Clear all failures</button></form>"
            "<form method=post action=\"/_standin/pending-forever\"><button name=enabled value=" +
            (pendingForever ? "false>Let polls finish" : "true>Answer every poll pending") +
            "</button></form><h3>Received</h3><table>" + requests + "</table></main>",
        "text/html; charset=utf-8");
}

void StandInBackend::controlFailures(const httplib::Request& request, httplib::Response& response) {
    if (param(request, "action") == "clear") {
        clearFailures();
    } else {
        const std::string endpoint = param(request, "endpoint");
        bool ok = false;
        const int status = qs(param(request, "status")).toInt(&ok);
        if (endpoint.empty() || !ok || status < 100 || status > 999) {
            answerError(response, 400, "invalid_request",
                        u"A failure needs an endpoint and a status."_s);
            return;
        }
        Failure failure{status, std::nullopt, std::nullopt};
        if (!param(request, "error").empty()) {
            failure.error = param(request, "error");
        }
        if (!param(request, "errorDescription").empty()) {
            failure.errorDescription = param(request, "errorDescription");
        }
        setFailure(endpoint, failure);
    }
    response.set_redirect("/", 303);
}

void StandInBackend::controlPending(const httplib::Request& request, httplib::Response& response) {
    setPendingForever(param(request, "enabled") == "true");
    response.set_redirect("/", 303);
}

} // namespace quillon::standin
