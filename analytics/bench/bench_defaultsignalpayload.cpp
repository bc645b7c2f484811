// Main-thread time of one default payload, as every signal builds it: the running system's
// facts and the shared session statistics over an initialised client's defaults suite, with
// a few stored sessions. Goal: under 200 us. Prints the figures; asserts nothing.

#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"
#include "analytics/payload/DefaultSignalPayload.h"
#include "analytics/payload/SessionManager.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace signalpost;

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    auto configuration = std::make_shared<TelemetryManagerConfiguration>(
        u"bench-payload"_s, std::nullopt, QUrl(u"http://127.0.0.1:9/"_s));
    configuration->setLogHandler(std::nullopt);
    configuration->setSessionStatsEnabled(false);
    configuration->setSendNewSessionBeganSignal(false);
    Signalpost::initialize(configuration);
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QJsonArray sessions;
        for (int i = 0; i < 20; ++i) {
            sessions.append(
                QJsonObject{{"startedAt", now - 86400 * (20 - i)}, {"durationInSeconds", 60 + i}});
        }
        const auto suite = Signalpost::defaultsSuite();
        suite->setValue("recentSessions", QJsonDocument(sessions).toJson(QJsonDocument::Compact));
        suite->setValue("firstSessionDate", "2024-01-01");
    }

    QElapsedTimer timer;
    timer.start();
    const auto first = DefaultSignalPayload::parameters();
    const double firstMicros = timer.nsecsElapsed() / 1000.0;

    constexpr int rounds = 2000;
    std::vector<double> micros;
    micros.reserve(rounds);
    size_t keys = 0;
    for (int i = 0; i < rounds; ++i) {
        timer.restart();
        keys += DefaultSignalPayload::parameters().size();
        micros.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    double total = 0;
    for (double m : micros) {
        total += m;
    }
    std::printf("default payload: %zu keys\n", static_cast<size_t>(first.size()));
    std::printf("default payload: first call (makes the session statistics) %8.1f us\n",
                firstMicros);
    std::printf("default payload: mean of %d calls                       %8.1f us\n", rounds,
                total / rounds);
    std::printf("default payload: median                                  %8.1f us\n",
                micros[rounds / 2]);
    std::printf("default payload: 99th percentile                         %8.1f us (goal < 200)\n",
                micros[rounds * 99 / 100]);
    std::printf("(%zu keys built in all)\n", keys);
    SessionManager::shared().waitForPersistence();
    Signalpost::terminate();
    return 0;
}
