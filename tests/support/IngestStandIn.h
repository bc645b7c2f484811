#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

namespace signalpost::testsupport {

// A stand-in for the Signalpost ingest service on 127.0.0.1 (port chosen by the system). It
// records every request it gets and answers with the statuses a test asks for: 200 unless told
// otherwise, or no answer at all while answers are held.
class IngestStandIn {
public:
    struct Request {
        QByteArray method;
        QString path;
        QByteArray contentType;
        QByteArray body;
        int answeredStatus = 0;

        // The batch's signal bodies; empty when the body is not a JSON array.
        QJsonArray bodies() const;
    };

    IngestStandIn();
    ~IngestStandIn();
    IngestStandIn(const IngestStandIn&) = delete;
    IngestStandIn& operator=(const IngestStandIn&) = delete;

    QUrl baseURL() const;

    // The status of every later answer.
    void answerWith(int status);
    // Statuses for the next answers, one each, before falling back to answerWith's.
    void answerNextWith(const QList<int>& statuses);
    // While held, requests are recorded but get no answer until released or shut down.
    void holdAnswers(bool hold);

    QList<Request> requests() const;
    int requestCount() const;
    // Every body of every batch, in the order received.
    QJsonArray allBodies() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_holding = false;
    bool m_stopping = false;
    int m_status = 200;
    std::deque<int> m_nextStatuses;
    QList<Request> m_requests;
};

} // namespace signalpost::testsupport
