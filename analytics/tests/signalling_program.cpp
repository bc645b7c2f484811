// The analytics client in a program of its own, for tst_signalsatquit:
//   signalling_program <ingest base URL> <transmit interval in seconds> [signal...]
// Initialises the client and sends the given signals. Each line on standard input,
// "quit [signal]", sends that signal and quits in the same turn of the event loop.
#include "analytics/base/LogHandler.h"
#include "analytics/base/TelemetryManagerConfiguration.h"
#include "analytics/client/Signalpost.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QUrl>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        return 2;
    }
    auto configuration = std::make_shared<signalpost::TelemetryManagerConfiguration>(
        u"app-signalling"_s, std::nullopt, QUrl(arguments.at(1)));
    configuration->setTransmitInterval(arguments.at(2).toDouble());
    configuration->setDefaultUser(u"tester"_s);
    configuration->setSendNewSessionBeganSignal(false);
    configuration->setSessionStatsEnabled(false);
    configuration->setLogHandler(
        signalpost::LogHandler(signalpost::LogHandler::LogLevel::info,
                               [](signalpost::LogHandler::LogLevel, const QString& message) {
                                   std::fprintf(stderr, "%s\n", qPrintable(message));
                               }));
    signalpost::Signalpost::initialize(configuration);
    for (const QString& name : arguments.mid(3)) {
        signalpost::Signalpost::signal(name);
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char line[256] = {};
        const ssize_t size = read(STDIN_FILENO, line, sizeof(line) - 1);
        const QStringList words =
            QString::fromUtf8(line, size > 0 ? size : 0).split(' ', Qt::SkipEmptyParts);
        if (words.isEmpty() || words.first().trimmed() != QLatin1String("quit")) {
            input.setEnabled(size > 0);
            return;
        }
        if (words.size() > 1) {
            signalpost::Signalpost::signal(words.at(1).trimmed());
        }
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
